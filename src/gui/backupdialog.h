#pragma once

#include <QDialog>

class OfficeSession;
class QLabel;
class QTableWidget;

// "备份与恢复": the copies kept (time, size, classes, children, the last
// receipt serial), a copy now into a folder the clerk chooses (a USB
// stick), and restoring a chosen copy after saying what it holds and what
// it replaces.
class BackupDialog : public QDialog
{
    Q_OBJECT
public:
    BackupDialog(OfficeSession &session, QWidget *parent);

    void refresh();
    // Writes a checked copy into a folder the clerk chooses.
    void backupNow();
    // Restores the selected copy, or one the clerk chooses from any folder
    // (a stick), after saying what it holds and what would be lost.
    void restoreSelected();
    void restoreFromFile();

    QTableWidget *table() const { return m_table; }
    QLabel *status() const { return m_status; }

private:
    void restore(const QString &path);

    OfficeSession &m_session;
    QTableWidget *m_table = nullptr;
    QLabel *m_status = nullptr;
    QStringList m_paths;
};
