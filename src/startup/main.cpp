#include <memory>

#include <QApplication>

#include "Main.h"
#include "WebEngineSession.h"

int main(int argc, char *argv[])
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    Module1::describeApplication();
    Module1::loadTranslations();
    WebEngineSession session;
    std::unique_ptr<Form1> form(Module1::Main(session));
    const int rc = QApplication::exec();
    form.reset();
    return rc;
}
