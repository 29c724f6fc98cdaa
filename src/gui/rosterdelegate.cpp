#include "rosterdelegate.h"

#include "prompts.h"
#include "roster.h"
#include "rosterdocument.h"

#include <QComboBox>
#include <QLineEdit>
#include <QUndoStack>

RosterDelegate::RosterDelegate(RosterDocument *document, QObject *parent)
    : QStyledItemDelegate(parent), m_document(document)
{
}

QString RosterDelegate::tuitionCell(const QString &typed, const QStringList &list)
{
    const QString t = typed.trimmed();
    const auto amount = Roster::wholeNumber(t);
    // "1" with two amounts listed would select the second one.
    if (amount && *amount >= 0 && *amount < list.size()) {
        for (int i = 0; i < list.size(); ++i)
            if (Roster::wholeNumber(list.at(i)) == amount)
                return QString::number(i);
    }
    return t;
}

QString RosterDelegate::tuitionShown(const QString &cell, const QStringList &list)
{
    const auto n = Roster::wholeNumber(cell);
    if (n && *n >= 0 && *n < list.size())
        return list.at(*n);
    return cell;
}

QWidget *RosterDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                      const QModelIndex &index) const
{
    const QStringList &list = m_document->fees().tuitionPrices;
    if (index.column() != Roster::Tuition || list.isEmpty())
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto *box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("tuitionEditor"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(list);
    box->setToolTip(QStringLiteral("从保教费列表中选择，或直接填金额（元）"));
    // A choice from the list, or Enter on a typed amount, ends the edit.
    auto *self = const_cast<RosterDelegate *>(this);
    const auto done = [self, box] {
        emit self->commitData(box);
        emit self->closeEditor(box, QAbstractItemDelegate::SubmitModelCache);
    };
    connect(box, &QComboBox::activated, self, done);
    connect(box->lineEdit(), &QLineEdit::returnPressed, self, done);
    return box;
}

void RosterDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *box = qobject_cast<QComboBox *>(editor);
    if (!box) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    const QString shown =
        tuitionShown(index.data(Qt::EditRole).toString(), m_document->fees().tuitionPrices);
    const int at = box->findText(shown);
    if (at >= 0)
        box->setCurrentIndex(at);
    box->setEditText(shown);
}

void RosterDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                  const QModelIndex &index) const
{
    const int row = index.row();
    const int before = Roster::toInt(m_document->cell(row, Roster::Total).value_or(QString()));
    if (auto *box = qobject_cast<QComboBox *>(editor)) {
        const QString stored = tuitionCell(box->currentText(), m_document->fees().tuitionPrices);
        if (stored != index.data(Qt::EditRole).toString())
            model->setData(index, stored, Qt::EditRole);
    } else {
        QStyledItemDelegate::setModelData(editor, model, index);
    }
    const int after = Roster::toInt(m_document->cell(row, Roster::Total).value_or(QString()));
    if (after <= LargeTotalYuan || before > LargeTotalYuan)
        return;
    const QString name = m_document->cell(row, Roster::Name).value_or(QString());
    auto *parent = qobject_cast<QWidget *>(editor->parent());
    if (!Prompts::current().confirm(
            parent,
            QStringLiteral("%1本月合计 %2 元，超过 %3 元。\n这个数目对吗？选“取消”撤回刚才的修改。")
                .arg(name.isEmpty() ? QStringLiteral("这名儿童") : name)
                .arg(after)
                .arg(LargeTotalYuan),
            QStringLiteral("保留")))
        m_document->undoStack()->undo();
}
