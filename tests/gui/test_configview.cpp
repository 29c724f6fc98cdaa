#include "configview.h"
#include "mainwindow.h"
#include "officesession.h"
#include "queryresults.h"
#include "querywindow.h"
#include "rosterpage.h"
#include "testsupport.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

namespace
{
QString stored(const QString &key)
{
    return SettingsStore::open()->value(key).toString();
}

} // namespace

class TestConfigView : public QObject
{
    Q_OBJECT
    TestWorld *w = nullptr;

private slots:
    void init() { w = new TestWorld; }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void firstStartWithoutStore()
    {
        configView view;
        QSignalSpy spy(&view, &configView::expensesChange);
        view.loadSettings();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(view.clerkName(), QString());
        QVERIFY(view.childcareFees().isEmpty());
        QCOMPARE(view.childcareCombo()->count(), 0);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(view.priceTable().value(i, -1.0f), 0.0f);
        QStandardItemModel *m = view.tableModel();
        QCOMPARE(m->rowCount(), 7);
        for (int r = 0; r < 7; ++r) {
            QCOMPARE(m->item(r, 0)->text(), configView::settingCaptions().at(r));
            QVERIFY(!m->item(r, 0)->isEditable());
            QCOMPARE(m->item(r, 1)->text(), QString());
            // An empty discount is "not set": discounted rows wait for it.
            if (r == FeeSettings::Discount)
                QVERIFY(m->item(r, 1)->toolTip().startsWith(QStringLiteral("还没有设置折扣")));
            else
                QCOMPARE(m->item(r, 1)->toolTip(), QStringLiteral("double click here to edit"));
            QCOMPARE(m->item(r, 2)->text(), configView::settingKeys().at(r));
        }
        QVERIFY(view.tableView()->isColumnHidden(2));
        QCOMPARE(m->horizontalHeaderItem(1)->text(), QStringLiteral("value"));
        QCOMPARE(view.tableView()->objectName(), QStringLiteral("shortcutconfig_shortcut_view"));
        QCOMPARE(view.childcareCombo()->objectName(), QStringLiteral("width_box_"));
        QVERIFY(view.childcareCombo()->isEditable());
        QVERIFY(view.tableView()->verticalHeader()->isHidden());
        QCOMPARE(view.tableView()->editTriggers(), QAbstractItemView::DoubleClicked);
    }

    void storedValues_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("price");
        QTest::addColumn<float>("value");
        QTest::newRow("trailing comma")
            << QStringLiteral("1200,1500,")
            << QStringList{QStringLiteral("1200"), QStringLiteral("1500")} << QStringLiteral("12.5")
            << 12.5f;
        QTest::newRow("empty parts dropped")
            << QStringLiteral("1200,,1500,")
            << QStringList{QStringLiteral("1200"), QStringLiteral("1500")} << QStringLiteral("90")
            << 90.0f;
        QTest::newRow("empty list") << QString() << QStringList() << QStringLiteral("abc") << 0.0f;
    }
    void storedValues()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, entries);
        QFETCH(QString, price);
        QFETCH(float, value);
        w->setSetting(QStringLiteral("bjcombox"), list);
        w->setSetting(QStringLiteral("a"), price);
        w->setSetting(QStringLiteral("name"), QStringLiteral("李老师"));
        configView view;
        view.loadSettings();
        QCOMPARE(view.childcareFees(), entries);
        QCOMPARE(comboItems(view.childcareCombo()), entries);
        QCOMPARE(view.priceTable().value(0), value);
        QCOMPARE(view.clerkName(), QStringLiteral("李老师"));
        // Shown as typed, converted only for the price table.
        QCOMPARE(view.tableModel()->item(1, 1)->text(), price);
    }

    void saveWritesAsTypedAndEmitsOnce()
    {
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("1200,1500,"));
        configView view;
        view.loadSettings();
        QSignalSpy spy(&view, &configView::expensesChange);
        view.tableModel()->item(0, 1)->setText(QStringLiteral("王会计"));
        view.tableModel()->item(2, 1)->setText(QStringLiteral("三百"));
        view.tableModel()->item(3, 1)->setText(QStringLiteral("10.5"));
        view.childcareCombo()->setCurrentIndex(0);
        button(&view, "deleteChildcareFee")->click();
        // Deleting alone stores nothing.
        QCOMPARE(stored(QStringLiteral("bjcombox")), QStringLiteral("1200,1500,"));
        QCOMPARE(spy.count(), 0);
        button(&view, "saveSettings")->click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(stored(QStringLiteral("bjcombox")), QStringLiteral("1500,"));
        QCOMPARE(stored(QStringLiteral("name")), QStringLiteral("王会计"));
        QCOMPARE(stored(QStringLiteral("b")), QStringLiteral("三百"));
        QCOMPARE(view.priceTable().value(1), 0.0f);
        QCOMPARE(view.priceTable().value(2), 10.5f);
        QCOMPARE(view.clerkName(), QStringLiteral("王会计"));
        QCOMPARE(view.childcareFees(), QStringList{QStringLiteral("1500")});
    }

    void emptyComboSavesEmptyList()
    {
        w->setSetting(QStringLiteral("bjcombox"), QStringLiteral("800,"));
        configView view;
        view.loadSettings();
        view.deleteComboBoxcurr();
        view.deleteComboBoxcurr(); // nothing left: nothing happens
        view.saveAll();
        QCOMPARE(stored(QStringLiteral("bjcombox")), QString());
        QVERIFY(view.childcareFees().isEmpty());
    }

    void saveRecomputesEveryPage()
    {
        seedDatabase(w->databasePath(), {QStringLiteral("A"), QStringLiteral("B")},
                     {{QStringLiteral("甲"),
                       {},
                       QStringLiteral("0"),
                       {},
                       {},
                       {},
                       {},
                       {},
                       {},
                       {},
                       {},
                       QStringLiteral("否"),
                       QStringLiteral("A")},
                      {QStringLiteral("乙"),
                       {},
                       QStringLiteral("1"),
                       {},
                       {},
                       {},
                       {},
                       {},
                       {},
                       {},
                       {},
                       QStringLiteral("否"),
                       QStringLiteral("B")}});
        MainWindow mw(DbConfig::sqlite(w->databasePath()));
        // An empty total already equals 0 and is left alone.
        QCOMPARE(cell(*mw.page(0), 0, 8), QString());
        mw.selectEdit->setText(QStringLiteral("乙"));
        mw.onButtonSelect();
        configView *view = mw.configview;
        view->childcareCombo()->addItem(QStringLiteral("1000"));
        view->childcareCombo()->addItem(QStringLiteral("1100"));
        view->tableModel()->item(0, 1)->setText(QStringLiteral("赵老师"));
        view->saveAll();
        QCOMPARE(cell(*mw.page(0), 0, 8), QStringLiteral("1000"));
        QCOMPARE(cell(*mw.page(1), 0, 8), QStringLiteral("1100"));
        QCOMPARE(cell(*mw.page(1), 0, 10), QStringLiteral("赵老师"));
        QCOMPARE(mw.selectWidget->results()->texts(0).at(8), QStringLiteral("1100"));
        QCOMPARE(mw.page(0)->document()->fees().tuitionPrices,
                 (QStringList{QStringLiteral("1000"), QStringLiteral("1100")}));
        // New totals are not in the database yet.
        QVERIFY(mw.hasUnsavedChanges());
        // Saving settings that did not change still computes every total.
        mw.page(1)->document()->setText(0, 8, QStringLiteral("5"));
        view->saveAll();
        QCOMPARE(cell(*mw.page(1), 0, 8), QStringLiteral("1100"));
    }

    void userStoreOverridesSystemDefaults()
    {
        // An administrator provisions defaults system-wide; the clerk's own
        // saves go to the per-user file and win.
        {
            QSettings system(QSettings::IniFormat, QSettings::SystemScope,
                             QStringLiteral("invoiceconfig"));
            system.setValue(QStringLiteral("c"), QStringLiteral("15"));
            system.setValue(QStringLiteral("name"), QStringLiteral("管理员"));
        }
        configView view;
        view.loadSettings();
        QCOMPARE(view.priceTable().value(2), 15.0f);
        view.tableModel()->item(0, 1)->setText(QStringLiteral("李老师"));
        view.saveAll();
        QCOMPARE(view.clerkName(), QStringLiteral("李老师"));
        QSettings system(QSettings::IniFormat, QSettings::SystemScope,
                         QStringLiteral("invoiceconfig"));
        QCOMPARE(system.value(QStringLiteral("name")).toString(), QStringLiteral("管理员"));
    }
};

QTEST_MAIN(TestConfigView)
#include "test_configview.moc"
