#include <memory>

#include <QAccessible>
#include <QLineEdit>
#include <QtTest>

#include "ClickLabel.h"
#include "Form1.h"
#include "ResultPages.h"
#include "ScriptedBrowser.h"
#include "SharedState.h"

using ResultPages::entry;
using El = ScriptedBrowser::Element;

// The keyboard map and what a screen reader finds, on a window showing three
// results with only the next page enabled.
class KeyboardTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { win.reset(); }

    void keyMap_data();
    void keyMap();
    void focusMarkOnlyFromKeyboard();
    void accessibleTree_data();
    void accessibleTree();
    void progressIsAnnounced();

private:
    std::unique_ptr<ScriptedWindow> win;
    Form1 *form = nullptr;
    ScriptedBrowser *w1 = nullptr;
    ScriptedBrowser *w2 = nullptr;
};

void KeyboardTest::init()
{
    win = std::make_unique<ScriptedWindow>();
    form = win->form.get();
    w1 = win->w1;
    w2 = win->w2;
    form->activateWindow();
    form->Text1->setText("t");
    QTest::keyClick(form->Text1, Qt::Key_Return);
    w1->complete(
        ResultPages::page(entry("a", "甲", "1 KB") + entry("b", "乙", "2 KB") + entry("c", "丙", "3 KB"), false, true),
        {}, {El {"A", "上一页", {}}, El {"A", "下一页", {}}});
    w1->navigations.clear();
}

void KeyboardTest::keyMap_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QStringList>("w1Clicks");
    QTest::addColumn<QStringList>("w2Navigations");
    QTest::addColumn<QString>("keyword");
    using K = QList<int>;
    const QStringList none;
    QTest::newRow("down to the first row") << K {Qt::Key_Down} << "Label3(0)" << none << none << "t";
    QTest::newRow("down stops at the last row")
        << K {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << "Label3(2)" << none << none << "t";
    QTest::newRow("up and back") << K {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up} << "Label3(0)" << none << none << "t";
    QTest::newRow("up from the first row") << K {Qt::Key_Down, Qt::Key_Up} << "Text1" << none << none << "t";
    QTest::newRow("esc") << K {Qt::Key_Down, Qt::Key_Down, Qt::Key_Escape} << "Text1" << none << none << "t";
    QTest::newRow("enter on a row") << K {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return} << "Label3(1)" << none
                                    << QStringList {"http://site.test/f/b.html"} << "t";
    QTest::newRow("page down") << K {Qt::Key_PageDown} << "Text1" << QStringList {"下一页"} << none << "t";
    QTest::newRow("page up while disabled") << K {Qt::Key_Down, Qt::Key_PageUp} << "Label3(0)" << none << none << "t";
    QTest::newRow("typing on a row") << K {Qt::Key_Down, Qt::Key_A} << "Text1" << none << none << "ta";
}

void KeyboardTest::keyMap()
{
    QFETCH(QList<int>, keys);
    QFETCH(QString, focus);
    QFETCH(QStringList, w1Clicks);
    QFETCH(QStringList, w2Navigations);
    QFETCH(QString, keyword);
    for (int key : keys)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QCOMPARE(w1->clicks, w1Clicks);
    QCOMPARE(w2->navigations, w2Navigations);
    QCOMPARE(form->Text1->text(), keyword);
    QVERIFY(w1->navigations.isEmpty());
}

void KeyboardTest::focusMarkOnlyFromKeyboard()
{
    QWidget *row = form->Picture1[0];
    const QImage unmarked = row->grab().toImage();
    QCOMPARE(form->Label3[0]->focusPolicy(), Qt::NoFocus); // neither Tab nor a click marks a row
    QTest::mouseClick(form->Label3[1], Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), form->Text1);
    QTest::keyClick(form->Text1, Qt::Key_Down);
    QVERIFY(row->grab().toImage() != unmarked);
    QTest::keyClick(form->Label3[0], Qt::Key_Escape);
    QCOMPARE(row->grab().toImage(), unmarked);
}

static QHash<QString, QAccessibleInterface *> accessibleByName(QAccessibleInterface *node)
{
    QHash<QString, QAccessibleInterface *> out;
    if (node->object())
        out.insert(node->object()->objectName(), node);
    for (int i = 0; i < node->childCount(); ++i)
        out.insert(accessibleByName(node->child(i)));
    return out;
}

void KeyboardTest::accessibleTree_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<bool>("invisible");
    QTest::newRow("search button") << "Label4" << QAccessible::Button << "搜索" << false << false;
    QTest::newRow("logo") << "Label7" << QAccessible::Link << "Ondrix 首页" << false << false;
    QTest::newRow("first row") << "Label3(0)" << QAccessible::Link << "甲(1 KB)" << false << false;
    QTest::newRow("hidden row") << "Label3(3)" << QAccessible::Link << "" << false << true;
    QTest::newRow("previous page") << "Label1" << QAccessible::Link << "上一页" << true << false;
    QTest::newRow("next page") << "Label2" << QAccessible::Link << "下一页" << false << false;
    QTest::newRow("progress") << "Label8" << QAccessible::StaticText << "正在搜索，请稍侯" << false << true;
}

void KeyboardTest::accessibleTree()
{
    QFETCH(QString, object);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    QFETCH(bool, disabled);
    QFETCH(bool, invisible);
    const auto tree = accessibleByName(QAccessible::queryAccessibleInterface(form));
    QAccessibleInterface *node = tree.value(object);
    QVERIFY(node);
    QCOMPARE(node->role(), role);
    QCOMPARE(node->state().disabled, disabled);
    QCOMPARE(node->state().invisible, invisible);
    if (!invisible || role != QAccessible::Link)
        QCOMPARE(node->text(QAccessible::Name), name);
    if (role == QAccessible::Link || role == QAccessible::Button)
        QVERIFY(node->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    if (object == "Label7")
        QCOMPARE(node->text(QAccessible::Description), QStringLiteral("http://home.test"));
    if (object == "Label2") {
        node->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(w1->clicks, QStringList {"下一页"});
    }
}

void KeyboardTest::progressIsAnnounced()
{
    QSignalSpy heard(form->Label8, &ClickLabel::announced);
    QTest::keyClick(form->Text1, Qt::Key_Return);
    QCOMPARE(heard.size(), 1);
    for (int i = 0; i < 3; ++i)
        form->Timer1_Timer(); // the dots alone are not read out
    QCOMPARE(heard.size(), 1);
    QCOMPARE(QAccessible::queryAccessibleInterface(form->Label8)->text(QAccessible::Name),
             QStringLiteral("正在搜索，请稍侯"));
    w1->fail();
    QCOMPARE(heard.size(), 2);
    QCOMPARE(QAccessible::queryAccessibleInterface(form->Label8)->text(QAccessible::Name), Form1::searchFailedText());
}

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"
