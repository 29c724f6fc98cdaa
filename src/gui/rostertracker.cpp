#include "rostertracker.h"

#include <QTimer>

RosterTracker::RosterTracker(Records records, QObject *parent)
    : QObject(parent), m_records(std::move(records))
{
}

bool RosterTracker::isModified() const
{
    return m_records() != m_saved;
}

void RosterTracker::markSaved()
{
    m_saved = m_records();
    changed();
}

void RosterTracker::changed()
{
    if (m_bulk > 0 || m_checkPending)
        return;
    m_checkPending = true;
    QTimer::singleShot(0, this, [this] {
        m_checkPending = false;
        const bool modified = isModified();
        if (modified != m_modified) {
            m_modified = modified;
            emit modifiedChanged(modified);
        }
    });
}
