#pragma once

#include <QStyledItemDelegate>

class RosterDocument;

// How a roster cell is edited. The 保教费 cell offers the childcare fee
// list's amounts and still takes any amount typed; a choice is stored so
// that it reads as the amount chosen. An edit that takes a child's month
// above 10,000 元 asks once whether that is meant; 取消 takes it back.
class RosterDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int LargeTotalYuan = 10000;

    RosterDelegate(RosterDocument *document, QObject *parent);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

    // What a 保教费 cell stores for a text typed or chosen: the list's index
    // when the amount itself would be read as an index, else the text.
    static QString tuitionCell(const QString &typed, const QStringList &list);
    // The amount a 保教费 cell means, as the editor shows it.
    static QString tuitionShown(const QString &cell, const QStringList &list);

private:
    RosterDocument *m_document;
};
