#include "reconcileservice.h"

#include "access.h"

#include <QHash>

WriteResult ReconcileService::import(Statements::Source source, const QByteArray &bytes,
                                     const Statements::BankColumns &bank, const QString &fileName,
                                     const QString &month, Imported *imported)
{
    QString why;
    auto file = Statements::read(source, bytes, bank, &why);
    return store(source, std::move(file), why, fileName, month, imported);
}

WriteResult ReconcileService::importRows(Statements::Source source,
                                         const QVector<QStringList> &rows,
                                         const Statements::BankColumns &bank,
                                         const QString &fileName, const QString &month,
                                         Imported *imported)
{
    QString why;
    auto file = Statements::readRows(source, rows, bank, &why);
    return store(source, std::move(file), why, fileName, month, imported);
}

WriteResult ReconcileService::store(Statements::Source source, std::optional<Statements::File> file,
                                    const QString &why, const QString &fileName,
                                    const QString &month, Imported *imported)
{
    // Reconciling is the accounts' work, as the month's report is.
    const auto permit = m_access.permit(Roles::MonthReport);
    if (!permit)
        return permit.result();
    if (!file)
        return WriteResult::failure(WriteResult::Refused, QStringLiteral("没有导入：%1").arg(why));
    Imported out;
    out.problems = file->problems;
    QVector<Statements::Row> ofMonth;
    for (const Statements::Row &r : std::as_const(file->rows)) {
        if (r.at.toString(QStringLiteral("yyyy-MM")) == month)
            ofMonth << r;
        else
            ++out.otherMonths;
    }
    if (ofMonth.isEmpty())
        return WriteResult::failure(
            WriteResult::Refused, file->rows.isEmpty()
                                      ? QStringLiteral("没有导入：文件里没有收款")
                                      : QStringLiteral("没有导入：这个账单是 %1 的，不是 %2 的")
                                            .arg(file->months().join(QStringLiteral("、")), month));
    WriteResult r =
        StatementStore(m_database).importRows(source, ofMonth, fileName, month, &out.report);
    if (r && imported)
        *imported = out;
    return r;
}

WriteResult ReconcileService::relink(Statements::Source source, const QString &month, int *linked)
{
    const auto permit = m_access.permit(Roles::MonthReport);
    if (!permit)
        return permit.result();
    StatementStore::ImportReport report;
    WriteResult r = StatementStore(m_database).importRows(source, {}, QString(), month, &report);
    if (r && linked)
        *linked = report.linked;
    return r;
}

std::optional<ReconcileService::View> ReconcileService::view(Statements::Source source,
                                                             const QString &month, QString *error)
{
    if (const QString no = m_access.refusal(Roles::MonthReport); !no.isEmpty()) {
        if (error)
            *error = no;
        return std::nullopt;
    }
    StatementStore store(m_database);
    const auto held = store.month(source, month);
    if (!held) {
        if (error)
            *error = store.errorString();
        return std::nullopt;
    }
    View v;
    QHash<qint64, int> rowAt, paymentAt;
    for (int i = 0; i < held->rows.size(); ++i)
        rowAt.insert(held->rows.at(i).id, i);
    for (int i = 0; i < held->payments.size(); ++i)
        paymentAt.insert(held->payments.at(i).entryId, i);
    QSet<qint64> rowsLinked, entriesLinked;
    for (const StatementStore::Link &l : held->links) {
        const auto r = rowAt.constFind(l.rowId);
        const auto p = paymentAt.constFind(l.entryId);
        if (r == rowAt.cend() || p == paymentAt.cend())
            continue;
        v.matched << View::Pair{held->rows.at(*r), held->payments.at(*p), l.how};
        rowsLinked << l.rowId;
        entriesLinked << l.entryId;
    }
    for (const StatementStore::StoredRow &s : held->rows) {
        if (!rowsLinked.contains(s.id))
            v.onlyOnStatement << s;
        View::Day &d = v.days[s.row.at.date()];
        d.statement += s.row.refund ? -s.row.fen : s.row.fen;
        d.fees += s.row.fee;
    }
    for (const Statements::Payment &p : held->payments) {
        if (!entriesLinked.contains(p.entryId))
            v.onlyInBooks << p;
        v.days[p.at.date()].desk += p.refund ? -p.fen : p.fen;
    }
    return v;
}
