#pragma once

#include <QCoreApplication>
#include <QDBusContext>

// The daemon's application object. It is the object registered on the bus,
// with the service object as its adaptor; Qt D-Bus hands the context of a
// call to an adaptor's slot (who sent it, how to answer) to the object the
// adaptor belongs to, so that context lives here.
class FpcApplication : public QCoreApplication, public QDBusContext
{
    Q_OBJECT

public:
    FpcApplication(int &argc, char **argv);
    ~FpcApplication() override;
};
