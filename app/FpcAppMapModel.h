#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>

// The Map page's data: every stored fingerprint with a position, and each
// serving cell and access point at its estimated position (the centroid of
// the fingerprints that heard it), read from the fingerprint database
// read-only on a worker thread so the window stays responsive.
class FpcAppMapModel : public QObject
{
    Q_OBJECT
    // [{id, latitude, longitude, mask, time, cell, wlans}]
    Q_PROPERTY(QVariantList fingerprints READ fingerprints NOTIFY loaded)
    // [{key, latitude, longitude, count}]
    Q_PROPERTY(QVariantList cells READ cells NOTIFY loaded)
    Q_PROPERTY(QVariantList accessPoints READ accessPoints NOTIFY loaded)
    Q_PROPERTY(int withoutPosition READ withoutPosition NOTIFY loaded)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(QString error READ error NOTIFY loaded)

public:
    explicit FpcAppMapModel(QObject *parent = nullptr);
    ~FpcAppMapModel() override;

    QVariantList fingerprints() const { return m_fingerprints; }
    QVariantList cells() const { return m_cells; }
    QVariantList accessPoints() const { return m_accessPoints; }
    int withoutPosition() const { return m_withoutPosition; }
    bool loading() const { return m_loading; }
    QString error() const { return m_error; }

    // Reads databaseFile (empty: the daemon's default place). A request while
    // one runs is served after it.
    Q_INVOKABLE void load(const QString &databaseFile);

Q_SIGNALS:
    void loaded();
    void loadingChanged();

private:
    struct Result;
    static Result read(const QString &path);
    void apply(const Result &result);

    QVariantList m_fingerprints;
    QVariantList m_cells;
    QVariantList m_accessPoints;
    int m_withoutPosition = 0;
    bool m_loading = false;
    QString m_error;
    QString m_queued;
    bool m_hasQueued = false;
    class QThread *m_worker = nullptr;
};
