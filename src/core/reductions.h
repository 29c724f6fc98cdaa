#pragma once

#include "fees.h"
#include "receipt.h"
#include "roster.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// Reductions (减免): a share or a fixed sum off some fee items each month,
// for a second child, a staff child or a family in hardship. The month's
// charges stay the fees as computed; each reduction is an adjustment entry
// of its own that names its type, and the receipt prints the net lines.
namespace Reductions
{
enum class Kind { Percent, Fixed };
// How a reduction meets the discount of a discounted row (it applies to
// 保教费, 住宿费 and 伙食费): taken off the discounted amount, taken off
// before the discount, or not together with it (the child gets the
// larger of the two).
enum class Order { AfterDiscount, BeforeDiscount, Alone };

struct Type {
    qint64 id = 0;
    QString name;
    QStringList items; // fee items, as the ledger names them
    Kind kind = Kind::Percent;
    // Percent: hundredths of a per cent (1500 is 15 %); fixed: fen a month.
    qint64 value = 0;
    Order order = Order::AfterDiscount;
    // 0: given to a child by a grant. 2 or more: given without a grant to
    // every child of a family from its n-th child on (the family's order).
    int siblingFrom = 0;
};

// One fee item of a child's month: what it costs before the discount, what
// it is charged (after it), and the row's discount factor for it (1 when
// the item is not discounted).
struct Base {
    QString item;
    qint64 gross = 0;
    qint64 charged = 0;
    double factor = 1.0;
};
QVector<Base> bases(const Roster::Cells &row, const FeeMirror &fees);

// What one type takes off one item, in fen (0 up to what it is charged).
qint64 amount(const Type &type, const Base &base);

// A child's month: for every item a type covers, the reduction as a line
// keyed by key(item, type name), negative. Several types on one item are
// taken in the order given, and never more than the item is charged.
QVector<QPair<QString, qint64>> lines(const QVector<Type> &types, const QVector<Base> &bases);

// "减免：二孩": the reason of a reduction entry.
QString reason(const QString &typeName);
// The type named by an entry's reason; nullopt when it is no reduction.
std::optional<QString> typeOf(const QString &reason);
// How a month's charges are keyed: the item alone, or for a reduction the
// item and its type ("保教费\x1f二孩").
QString key(const QString &item, const QString &reason);
// The item and, for a reduction, its reason.
QPair<QString, QString> split(const QString &key);

// The receipt of the fees with the reductions taken off its lines, the
// total they took in `reduced`.
Receipt net(const Receipt &full, const QVector<QPair<QString, qint64>> &lines);
// The reductions' total, positive.
qint64 total(const QVector<QPair<QString, qint64>> &lines);

// Why a type cannot be kept, or empty.
QString problem(const Type &type);
QString kindText(Kind kind);
QString orderText(Order order);
// "15%" or "100.00 元/月".
QString valueText(const Type &type);
} // namespace Reductions
