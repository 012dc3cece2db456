#include "Form1.h"

#include <algorithm>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMovie>

#include "Browser.h"
#include "ClickLabel.h"
#include "Design.h"
#include "FilePages.h"
#include "Images.h"

namespace {

constexpr int ResultsDeadlineMs = 30000;

QRect geometryOf(const Design::Control &c, int index = 0)
{
    return QRect(Design::px(c.left), Design::px(c.top + c.topStep * index), Design::px(c.width), Design::px(c.height));
}

// Gives a control its design name (arrays by index), geometry and, where the
// design has one, its opaque background.
template<typename W> W *place(W *widget, const Design::Control &c, int index = 0)
{
    widget->setObjectName(Design::designName(c, index));
    widget->setGeometry(geometryOf(c, index));
    if (c.backColor) {
        widget->setAttribute(Qt::WA_TranslucentBackground, false);
        widget->setAutoFillBackground(true);
        QPalette p = widget->palette();
        p.setColor(QPalette::Window, Design::color(c.backColor));
        widget->setPalette(p);
    }
    return widget;
}

// Applies a label's design: geometry, caption, colour, cursor and state.
ClickLabel *makeLabel(const Design::Control &c, QWidget *parent, int index = 0)
{
    auto *label = place(new ClickLabel(parent), c, index);
    label->setAutoSize(c.autoSize);
    if (c.foreColor)
        label->setForeColor(c.foreColor);
    if (c.boldFont) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    if (c.handCursor)
        label->setCursor(Images::hand());
    if (c.caption)
        label->setCaption(QString::fromUtf8(c.caption));
    label->setEnabled(c.enabled);
    label->setVisible(c.visible);
    return label;
}

} // namespace

Form1Services Form1Services::desktop()
{
    Form1Services s;
    s.openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    s.askUpdate = [](QWidget *parent) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("提示"), QStringLiteral("有最新版本，是否下载？"),
                        QMessageBox::Ok | QMessageBox::Cancel, parent);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        return box.exec() == QMessageBox::Ok;
    };
    s.quit = [] { QCoreApplication::quit(); };
    return s;
}

Form1::Form1(const BrowserFactory &browsers, Form1Services services, QWidget *parent)
    : QWidget(parent)
    , m_browsers(browsers)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Design::windowCaption());
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));
    setFixedSize(Design::px(Design::ClientWidth), Design::px(Design::ClientHeight));
    QFont f(QString::fromLatin1(Design::FontFamily));
    f.setPixelSize(Design::FontPixelSize);
    f.setStyleStrategy(QFont::PreferAntialias);
    setFont(f);

    W1 = browsers(QStringLiteral("W1"), this);
    W2 = browsers(QStringLiteral("W2"), this);
    W3 = browsers(QStringLiteral("W3"), this);
    createControls();
    Design::applyTabOrder(this);
    connectHandlers();
    prepareKeyboard();
    describeForReaders();

    m_resultsDeadline.setSingleShot(true);
    m_resultsDeadline.setInterval(ResultsDeadlineMs);
    // A site that took the connection and sent nothing in all that time.
    connect(&m_resultsDeadline, &QTimer::timeout, this, [this] { searchFailed({LoadFailure::NoAnswer, 0}); });
    setUpDownloadNotices();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    using Design::control;

    // Controls without a window of their own lie under Picture2 on the form.
    List1 = place(new QListWidget(this), control("List1"));
    List1->setVisible(control("List1").visible);
    Label5 = makeLabel(control("Label5"), this);

    Picture2 = place(new QLabel(this), control("Picture2"));
    Picture2->setPixmap(Images::sharp(QStringLiteral(":/images/background.jpg")));

    // Labels are drawn on their container's surface, so the rows and the
    // keyword box, which have windows of their own, cover them.
    Label8 = makeLabel(control("Label8"), Picture2);
    Label7 = makeLabel(control("Label7"), Picture2);
    Label6 = makeLabel(control("Label6"), Picture2);
    Label1 = makeLabel(control("Label1"), Picture2);
    Label2 = makeLabel(control("Label2"), Picture2);
    Label4 = makeLabel(control("Label4"), Picture2);

    const auto &row = control("Picture1");
    const auto &icon = control("Image1");
    m_downloadIcon = Images::downloadIcon(geometryOf(icon).size(), this);
    for (int n = 0; n < RowCount; ++n) {
        QWidget *strip = Picture1[n] = place(new QWidget(Picture2), row, n);
        Image1[n] = place(new QLabel(strip), icon, n);
        Images::play(m_downloadIcon, Image1[n]);
        Label3[n] = makeLabel(control("Label3"), strip, n);
        // A long title runs past the row, which keeps the design's width.
        Label3[n]->setCaptionTip(true);
        Label3[n]->setCaption(Design::advertisedTitle(n));
        // The last rows hold placeholders and start hidden.
        strip->setVisible(n < Design::RowsShownAtStart);
    }
    m_downloadIcon->start();

    const auto &box = control("Text1");
    Text1 = place(new QLineEdit(Picture2), box);
    Text1->setFrame(false);
    Text1->setMaxLength(Design::TextMaxLength);
    Text1->setTextMargins(0, 0, 0, 0);
    QPalette tp = Text1->palette();
    tp.setColor(QPalette::Text, Design::color(box.foreColor));
    Text1->setPalette(tp);
    Text1->installEventFilter(this);
    setFocusProxy(Text1);
    Text1->setFocus();

    Timer1 = new QTimer(this);
    Timer1->setInterval(Design::TimerInterval);
}

void Form1::connectHandlers()
{
    connect(Label4, &ClickLabel::clicked, this, &Form1::Label4_Click);
    connect(Label1, &ClickLabel::clicked, this, &Form1::Label1_Click);
    connect(Label2, &ClickLabel::clicked, this, &Form1::Label2_Click);
    connect(Label7, &ClickLabel::clicked, this, &Form1::Label7_Click);
    for (int n = 0; n < RowCount; ++n)
        connect(Label3[n], &ClickLabel::clicked, this, [this, n] { Label3_Click(n); });
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(W1, &Browser::DocumentComplete, this, &Form1::W1_DocumentComplete);
    // Only a results page still awaited can fail; the deadline fails it by itself.
    connect(W1, &Browser::loadFailed, this, [this](const LoadFailure &failure) {
        if (m_resultsDeadline.isActive())
            searchFailed(failure);
    });
    // W2 serves the row clicks, and while it is busy, file pages made for
    // them; only a row click in search mode has them load a file page.
    m_filePages = new FilePages(
        W2, [this] { return m_browsers(QStringLiteral("W2"), this); }, this);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // A row shown or hidden covers or uncovers the progress text beneath.
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide)
        && std::find(Picture1.cbegin(), Picture1.cend(), watched) != Picture1.cend())
        Label8->coverChanged();
    if (event->type() == QEvent::KeyPress && Form_KeyDown(watched, static_cast<QKeyEvent *>(event)))
        return true;
    if (watched == Text1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            int keyAscii = 13;
            Text1_KeyPress(keyAscii);
            return keyAscii == 0;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    int cancel = 0;
    Form_QueryUnload(cancel);
    if (cancel || !m_services.mayQuit(this)) {
        event->ignore();
        return;
    }
    event->accept();
    m_services.quit();
}
