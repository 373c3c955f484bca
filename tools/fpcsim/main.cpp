#include "SimCommandLine.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fpcsim"));
    return SimCommandLine::run(QCoreApplication::arguments());
}
