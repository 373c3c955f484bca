#include "FpcExceptionGuard.h"

#include <exception>
#include <string>

QString FpcExceptionGuard::describeCurrentException()
{
    try {
        throw;
    } catch (const QString &text) {
        return text;
    } catch (const std::string &text) {
        return QString::fromStdString(text);
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    } catch (int code) {
        return QStringLiteral("gateway error code %1").arg(code);
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}
