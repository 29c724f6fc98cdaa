#pragma once

#include "layout.h"
#include "rosterdocument.h"

#include <functional>

class OfficeSession;
class QWidget;
class ReceiptJob;
class ReceiptPlan;

// The receipt commands of a roster page and of the query results: the
// selected child, a range of rows, and the preview. This class keeps the
// order of the questions to the clerk; the receipts come from ReceiptPlan,
// the paper from ReceiptJob, the marks and the journal from the office.
class ReceiptCommands
{
public:
    // The rows the commands work on: how many there are, and the child of
    // each (numbered from 0).
    using Rows = std::function<int()>;
    using Child = std::function<ChildRef(int row)>;
    using Status = std::function<void(const QString &)>;
    ReceiptCommands(QWidget *parent, OfficeSession *session, Rows rows, Child child, Status status);

    void printSelected(int row);
    // Rows numbered from 1, both ends included.
    void printRange(int from, int to);
    // What would print; printed as printSelected/printRange would when the
    // clerk presses 打印 in the preview.
    void preview(int row);
    void preview(int from, int to);

private:
    ReceiptPlan planFor(CapitalPlacement placement) const;
    bool askPrinter(ReceiptJob &job);
    // Refuses (and says why) while a price or the discount is not a number.
    bool feesUsable();
    // Asks before printing receipts that leave fees off.
    bool confirmTwoForms(const ReceiptPlan &plan);
    // How the money is paid; for a single receipt also a transaction number
    // and the amount received (a part makes the receipt a part receipt).
    bool askPayment(ReceiptPlan *single);
    // Asks before discounted receipts print with a discount outside 0 < a <= 1.
    bool confirmDiscount(const ReceiptPlan &plan);
    // Prints the plan's printable receipts, one page each, marks their rows
    // and writes the journal; the number printed, or -1 when nothing could.
    int print(ReceiptJob &job, const ReceiptPlan &plan);
    QString m_method;
    QString m_reference;
    // Whether the clerk asked to print what was shown.
    bool showPreview(ReceiptPlan &plan);
    FeeMirror fees() const;
    QString feeProblem() const;

    QWidget *m_parent;
    OfficeSession *m_session;
    Rows m_rows;
    Child m_child;
    Status m_status;
    SheetLayout m_sheet;
};
