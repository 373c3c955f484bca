#include "FpcConfigKeys.h"

#include <cmath>

namespace {

using Key = FpcConfigKeys::Key;

Key key(const char *name, const char *type, const char *defaultValue, const char *meaning, bool setByDaemon = false)
{
    return Key{QString::fromLatin1(name), QString::fromLatin1(type), QString::fromLatin1(defaultValue),
               QString::fromLatin1(meaning), setByDaemon};
}

QList<Key> buildTable()
{
    return {
        key("loglevel", "string", "DEBUG",
            "Trace threshold: DEBUG, INFO, WARN, ERROR, CRITICAL or FATAL; --loglevel overrides it."),
        key("timer_trigger_base_value", "int", "180",
            "Minutes between timer-made fingerprints before the day/night factor; below 1 switches the timer off."),
        key("daytime_start_hour", "int", "6", "Hour of day at which the daytime factor starts to apply."),
        key("nighttime_start_hour", "int", "23", "Hour of day at which the night-time factor starts to apply."),
        key("daytime_factor", "int", "1", "Multiplier of the timer interval during the day."),
        key("nighttime_factor", "int", "2", "Multiplier of the timer interval during the night."),
        key("passive_wlan_scan_delay", "int", "5",
            "Seconds the results of another application's WLAN scan stay usable."),
        key("wlan_free_scan_interval", "int", "240",
            "Minutes between fingerprints made from other applications' WLAN scans."),
        key("min_battery_level_for_wlan_scan", "int", "25",
            "Battery percentage below which the daemon starts no WLAN scan of its own."),
        key("wlan_scan_interval", "int", "60",
            "Milliseconds that must pass after a WLAN scan of the daemon's own before the next one."),
        key("gps_cache_time_frame", "int", "0", "Seconds a GPS fix is kept for pairing with later measurements."),
        key("speed_threshold", "int", "10", "Speed in km/h that separates low from high speed."),
        key("max_time_difference_high_speed", "int", "2",
            "Seconds a fix may lie from a fingerprint's birth at high speed."),
        key("max_time_difference_low_speed", "int", "10",
            "Seconds a fix may lie from a fingerprint's birth at low speed."),
        key("gps_max_speed", "int", "150", "Speed in km/h above which a fix makes no fingerprint."),
        key("min_distance_between_consecutive_positions", "int", "30",
            "Metres a fix must lie from the newest stored fingerprint."),
        key("max_wlan_speed", "int", "40", "Speed in km/h above which no WLAN measurement is made."),
        key("min_wlan_count", "int", "3", "Access points a WLAN-only fingerprint needs to be valid."),
        key("min_ta_difference", "int", "2", "Timing-advance difference that makes two GSM measurements differ."),
        key("max_distance_to_new_fp", "int", "20",
            "Metres within which a stored fingerprint is compared with a new one."),
        key("db_file", "string", "", "Database file; empty means private/fp.db in the daemon's state directory."),
        key("fp_buffer_max_size", "uint", "300000", "Largest database size in bytes before a cleanup."),
        key("fp_buffer_daily_limit", "int", "100000", "Bytes the database may grow by in one day."),
        key("fp_buffer_cleanup_percentage", "int", "5", "Share of the buffer, in percent, a cleanup removes."),
        key("wlan_upload_age_threshold", "uint", "259200",
            "Age in seconds of the oldest fingerprint before an upload over a free WLAN."),
        key("gprs_upload_age_threshold", "uint", "604800",
            "Age in seconds of the oldest fingerprint before an upload over any network."),
        key("wlan_upload_fill_ratio", "float", "1.0", "Buffer fill ratio needed for an upload over a free WLAN."),
        key("gprs_upload_fill_ratio", "float", "1.0", "Buffer fill ratio needed for an upload over any network."),
        key("trust_level", "uint", "20", "Trust level written into every report."),
        key("slpgw_connection_timeout", "int", "180000", "Milliseconds the gateway has to answer a request."),
        key("fp_upload_retry_timeout", "uint", "3600", "Seconds before a failed network attach is retried."),
        key("platform_provider", "string", "",
            "Where measurements, device information and networks come from: sim or linux; empty chooses sim when "
            "a path root or rd-mode is set, linux otherwise. FPCD_PROVIDER wins."),
        key("collection_enabled", "int", "1",
            "0 switches collection off: no fix or trigger gives birth to a fingerprint."),
        key("upload_enabled", "int", "1",
            "0 switches upload off: nothing is sent; the buffer still follows its size and daily limits."),
        key("privacy_zones", "string", "",
            "Circles without collection, 'latitude,longitude,radius_m' separated by ';'; a fingerprint without "
            "fix is dropped while the newest fix lies in a zone or none has come since start."),
        key("community_upload_url", "string", "",
            "http(s) URL of a geosubmit v2 community server that uploads go to instead of the gateway's own "
            "settings; empty keeps the gateway's transport and server_url."),
        key("wlan_source", "string", "networkmanager",
            "Service that scans WLAN with the linux provider: networkmanager or wpa_supplicant. "
            "FPCD_WLAN_SOURCE wins."),
        key("fpr/dump_reports", "int", "0",
            "Non-zero writes every report to a numbered fpr_ file; reset to 0 at start.", true),
        key("fpr/user_id", "string", "", "Masked subscriber identity written into reports.", true),
        key("fpr/hw_id", "string", "", "Masked equipment identity or WLAN address written into reports.", true),
        key("fpr/user_name", "string", "", "User name written into reports; empty at start.", true),
        key("fpr/model_id", "string", "", "Device model written into reports; empty at start.", true),
    };
}

} // namespace

const QList<Key> &FpcConfigKeys::all()
{
    static const QList<Key> table = buildTable();
    return table;
}

const Key *FpcConfigKeys::find(const QString &name)
{
    for (const Key &entry : all()) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

bool FpcConfigKeys::valueFits(const Key &key, const QString &value, QString *error)
{
    bool ok = true;
    if (key.type == QLatin1String("int"))
        value.toInt(&ok);
    else if (key.type == QLatin1String("uint"))
        value.toUInt(&ok);
    else if (key.type == QLatin1String("float"))
        ok = std::isfinite(value.toDouble(&ok)) && ok;
    if (!ok)
        *error = QStringLiteral("'%1' is not a valid %2 value for %3").arg(value, key.type, key.name);
    return ok;
}
