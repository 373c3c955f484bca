#include "PositionFix.h"

#include <cmath>
#include <type_traits>

namespace {

struct SignatureName
{
    PositionFix::Signature signature;
    const char *name;
    const char *text;
};

constexpr SignatureName Signatures[] = {
    {PositionFix::Signature::Correct, "correct", "dddddyqqqyyyyq"},
    {PositionFix::Signature::Int32Fields, "int32", "dddddiiiiiiiii"},
    {PositionFix::Signature::MissingMsecs, "short", "dddddyqqqyyyy"},
    {PositionFix::Signature::ExtraArgument, "extra", "dddddyqqqyyyyqs"},
};

// Doubles are printed so that NaN and infinities read back unambiguously.
QString number(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return QString::number(value, 'g', 12);
}

} // namespace

PositionFix PositionFix::fromArguments(const QVariantList &arguments)
{
    PositionFix fix;
    const auto read = [&arguments](int index, auto *field) {
        using Field = std::remove_pointer_t<decltype(field)>;
        const QVariant value = arguments.value(index);
        if (value.metaType() == QMetaType::fromType<Field>())
            *field = value.value<Field>();
    };
    read(0, &fix.lat);
    read(1, &fix.lon);
    read(2, &fix.alt);
    read(3, &fix.along);
    read(4, &fix.ortho);
    read(5, &fix.angle);
    read(6, &fix.ualt);
    read(7, &fix.speed);
    read(8, &fix.year);
    read(9, &fix.day);
    read(10, &fix.month);
    read(11, &fix.hours);
    read(12, &fix.minutes);
    read(13, &fix.msecs);
    return fix;
}

QDateTime PositionFix::dateTime() const
{
    const QTime time = QTime(hours, minutes).addMSecs(msecs);
    if (msecs >= 60000 || !time.isValid())
        return {};
    return QDateTime(QDate(year, month, day), time, Qt::UTC);
}

void PositionFix::setTime(const QDateTime &utc)
{
    const QDateTime t = utc.toUTC();
    year = quint16(t.date().year());
    month = quint8(t.date().month());
    day = quint8(t.date().day());
    hours = quint8(t.time().hour());
    minutes = quint8(t.time().minute());
    msecs = quint16(t.time().second() * 1000 + t.time().msec());
}

QVariantList PositionFix::arguments(Signature signature) const
{
    QVariantList args{lat, lon, alt, along, ortho};
    if (signature == Signature::Int32Fields) {
        for (int value :
             {int(angle), int(ualt), int(speed), int(year), int(day), int(month), int(hours), int(minutes), int(msecs)})
            args << value;
        return args;
    }
    args << QVariant::fromValue(angle) << QVariant::fromValue(ualt) << QVariant::fromValue(speed)
         << QVariant::fromValue(year) << QVariant::fromValue(day) << QVariant::fromValue(month)
         << QVariant::fromValue(hours) << QVariant::fromValue(minutes);
    if (signature != Signature::MissingMsecs)
        args << QVariant::fromValue(msecs);
    if (signature == Signature::ExtraArgument)
        args << QStringLiteral("unexpected");
    return args;
}

QDBusMessage PositionFix::toSignal(const QString &path, const QString &interface, Signature signature) const
{
    QDBusMessage message = QDBusMessage::createSignal(path, interface, QStringLiteral("positionMessage"));
    message.setArguments(arguments(signature));
    return message;
}

QString PositionFix::describe() const
{
    return QStringLiteral("lat=%1 lon=%2 alt=%3 along=%4 ortho=%5 angle=%6 ualt=%7 speed=%8 "
                          "year=%9 month=%10 day=%11 hours=%12 minutes=%13 msecs=%14")
        .arg(number(lat), number(lon), number(alt), number(along), number(ortho))
        .arg(angle)
        .arg(ualt)
        .arg(speed)
        .arg(year)
        .arg(month)
        .arg(day)
        .arg(hours)
        .arg(minutes)
        .arg(msecs);
}

QString PositionFix::signatureText(Signature signature)
{
    for (const SignatureName &entry : Signatures) {
        if (entry.signature == signature)
            return QLatin1String(entry.text);
    }
    return {};
}

bool PositionFix::parseSignature(const QString &name, Signature *out)
{
    for (const SignatureName &entry : Signatures) {
        if (name == QLatin1String(entry.name)) {
            *out = entry.signature;
            return true;
        }
    }
    return false;
}

QStringList PositionFix::signatureNames()
{
    QStringList names;
    for (const SignatureName &entry : Signatures)
        names << QLatin1String(entry.name);
    return names;
}
