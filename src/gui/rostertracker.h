#pragma once

#include <QObject>
#include <QStringList>
#include <QVector>
#include <functional>

// Whether a roster differs from what was last loaded or saved. The roster's
// records are compared once the event loop is free, and once after a bulk
// change, never after every cell.
class RosterTracker : public QObject
{
    Q_OBJECT
public:
    using Records = std::function<QVector<QStringList>()>;
    RosterTracker(Records records, QObject *parent);

    bool isModified() const;
    const QVector<QStringList> &saved() const { return m_saved; }
    void markSaved();
    // Something changed: the mark is worked out soon.
    void changed();

    // Many changes at once: the mark is worked out when the last scope ends.
    class Bulk
    {
    public:
        explicit Bulk(RosterTracker &tracker) : m_tracker(tracker) { ++m_tracker.m_bulk; }
        ~Bulk()
        {
            if (--m_tracker.m_bulk == 0)
                m_tracker.changed();
        }
        Bulk(const Bulk &) = delete;
        Bulk &operator=(const Bulk &) = delete;

    private:
        RosterTracker &m_tracker;
    };

signals:
    void modifiedChanged(bool modified);

private:
    Records m_records;
    QVector<QStringList> m_saved;
    bool m_modified = false;
    bool m_checkPending = false;
    int m_bulk = 0;
};
