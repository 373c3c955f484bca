#include "FpcCtlApp.h"
#include "FpcCtlOutput.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fpcctl"));
    FpcCtlOutput::installMessageFilter();
    return FpcCtlApp::run(QCoreApplication::arguments());
}
