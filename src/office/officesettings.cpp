#include "officesettings.h"

#include "calibration.h"
#include "ledger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

OfficeSettings::OfficeSettings(QObject *parent) : QObject(parent) {}

void OfficeSettings::load()
{
    const auto store = SettingsStore::open();
    m_fees = FeeSettings::fromSettings(*store);
    applySignedIn();
    emit changed();
}

void OfficeSettings::applySignedIn()
{
    if (!m_signedIn.isEmpty())
        m_fees.texts[FeeSettings::Clerk] = m_signedIn;
}

void OfficeSettings::setSignedIn(const QString &name)
{
    if (name == m_signedIn)
        return;
    m_signedIn = name;
    load();
}

bool OfficeSettings::save(const FeeSettings &settings)
{
    m_error.clear();
    if (m_gate)
        if (const QString no = m_gate(); !no.isEmpty()) {
            m_error = no;
            return false;
        }
    const auto store = SettingsStore::open();
    FeeSettings stored = settings;
    // The 经办人 is whoever signs in: the stored name stays as it was.
    if (!m_signedIn.isEmpty())
        stored.texts[FeeSettings::Clerk] =
            FeeSettings::fromSettings(*store).texts[FeeSettings::Clerk];
    if (!stored.toSettings(*store)) {
        m_error = QStringLiteral("设置保存失败：%1 无法写入")
                      .arg(QDir::toNativeSeparators(store->fileName()));
        return false;
    }
    const FeeSettings before = m_fees;
    load();
    QStringList changes;
    for (int k = 0; k < FeeSettings::KeyCount; ++k)
        if (before.texts[k] != m_fees.texts[k])
            changes << QStringLiteral("%1：%2 → %3")
                           .arg(FeeSettings::caption(FeeSettings::Key(k)), before.texts[k],
                                m_fees.texts[k]);
    if (before.childcareFees != m_fees.childcareFees)
        changes << QStringLiteral("保教费列表：%1 → %2")
                       .arg(before.childcareFees.join(QLatin1Char(',')),
                            m_fees.childcareFees.join(QLatin1Char(',')));
    emit saved();
    if (!changes.isEmpty())
        emit valuesChanged(changes);
    return true;
}

QString OfficeSettings::feeProblem() const
{
    const auto bad = m_fees.firstInvalid();
    return bad == FeeSettings::KeyCount ? QString() : FeeSettings::problem(m_fees, bad);
}

DbConfig OfficeSettings::database()
{
    const auto store = SettingsStore::open();
    return DbConfig::fromSettings(*store);
}

QString OfficeSettings::paymentMethod()
{
    const auto store = SettingsStore::open();
    const QString method = store->value(QStringLiteral("payment/method")).toString();
    return Ledger::paymentMethods().contains(method) ? method : Ledger::paymentMethods().first();
}

void OfficeSettings::setPaymentMethod(const QString &method)
{
    if (!Ledger::paymentMethods().contains(method))
        return;
    const auto store = SettingsStore::open();
    store->setValue(QStringLiteral("payment/method"), method);
}

namespace
{
const char *const refundKeys[] = {
    "refund/minDays",    "refund/leaveRequired", "refund/perDay",      "refund/discounted",
    "refund/creditNext", "refund/tuitionDays",   "refund/tuitionShare"};
constexpr int refundTexts = 7;
} // namespace

QStringList OfficeSettings::refundRuleTexts()
{
    const auto store = SettingsStore::open();
    const Absence::Rule defaults;
    const QStringList fallback = {
        QString::number(defaults.minDays),
        defaults.leaveRequired ? QStringLiteral("是") : QStringLiteral("否"),
        QString(),
        defaults.discounted ? QStringLiteral("是") : QStringLiteral("否"),
        defaults.creditNextMonth ? QStringLiteral("是") : QStringLiteral("否"),
        QStringLiteral("0"),
        QString()};
    QStringList texts;
    for (int i = 0; i < refundTexts; ++i)
        texts << store->value(QLatin1String(refundKeys[i]), fallback.at(i)).toString();
    return texts;
}

std::optional<Absence::Rule> OfficeSettings::refundRule(QString *why)
{
    const QStringList t = refundRuleTexts();
    return Absence::Rule::fromTexts(t.at(0), t.at(1), t.at(2), t.at(3), t.at(4), why);
}

std::optional<Absence::TuitionRule> OfficeSettings::tuitionRule(QString *why)
{
    const QStringList t = refundRuleTexts();
    return Absence::TuitionRule::fromTexts(t.at(5), t.at(6), why);
}

bool OfficeSettings::setRefundRule(const QStringList &texts, QString *why)
{
    // Five texts leave tuition back as it is.
    if ((texts.size() != 5 && texts.size() != refundTexts) ||
        !Absence::Rule::fromTexts(texts.at(0), texts.at(1), texts.at(2), texts.at(3), texts.at(4),
                                  why) ||
        (texts.size() == refundTexts &&
         !Absence::TuitionRule::fromTexts(texts.at(5), texts.at(6), why)))
        return false;
    const auto store = SettingsStore::open();
    for (int i = 0; i < texts.size(); ++i)
        store->setValue(QLatin1String(refundKeys[i]), texts.at(i).trimmed());
    store->sync();
    if (store->status() != QSettings::NoError) {
        if (why)
            *why = QStringLiteral("退费规则没有保存：无法写入 %1").arg(store->fileName());
        return false;
    }
    return true;
}

bool OfficeSettings::savePaymentAndRefundRule(const QString &method, const QStringList &rule,
                                              QString *why)
{
    const QString methodBefore = paymentMethod();
    const QStringList ruleBefore = refundRuleTexts();
    // The default way is anyone's; the refund rule is the administrator's.
    if (rule != ruleBefore && m_gate)
        if (const QString no = m_gate(); !no.isEmpty()) {
            if (why)
                *why = no;
            return false;
        }
    setPaymentMethod(method);
    const bool stored = setRefundRule(rule, why);
    QStringList changes;
    if (paymentMethod() != methodBefore)
        changes << QStringLiteral("默认收款方式：%1 → %2").arg(methodBefore, paymentMethod());
    const QStringList ruleAfter = refundRuleTexts();
    static const char16_t *const captions[] = {
        u"退费起算天数",       u"须请假",        u"每天退费", u"退费打折", u"退费记入下月",
        u"保教费退还起算天数", u"保教费退还比例"};
    for (int i = 0; i < refundTexts && i < ruleBefore.size() && i < ruleAfter.size(); ++i)
        if (ruleBefore.at(i) != ruleAfter.at(i))
            changes << QStringLiteral("%1：%2 → %3")
                           .arg(QString::fromUtf16(captions[i]), ruleBefore.at(i), ruleAfter.at(i));
    if (!changes.isEmpty())
        emit valuesChanged(changes);
    return stored;
}

QString OfficeSettings::noticeDetails()
{
    return SettingsStore::open()->value(QStringLiteral("notice/details")).toString();
}

QImage OfficeSettings::noticeImage()
{
    const QByteArray png = QByteArray::fromBase64(
        SettingsStore::open()->value(QStringLiteral("notice/image")).toByteArray());
    return png.isEmpty() ? QImage() : QImage::fromData(png, "PNG");
}

bool OfficeSettings::saveNoticeDetails(const QString &text, const QString &imagePath, QString *why)
{
    if (m_gate)
        if (const QString no = m_gate(); !no.isEmpty()) {
            *why = no;
            return false;
        }
    QByteArray png;
    const bool newImage = !imagePath.isEmpty() && imagePath != QStringLiteral("-");
    if (newImage) {
        QFile f(imagePath);
        if (!f.open(QIODevice::ReadOnly)) {
            *why = QStringLiteral("无法读取图片 %1：%2")
                       .arg(QDir::toNativeSeparators(imagePath), f.errorString());
            return false;
        }
        if (f.size() > 2 * 1024 * 1024) {
            *why = QStringLiteral("图片 %1 超过 2 MB，请换一张小一些的 PNG")
                       .arg(QDir::toNativeSeparators(imagePath));
            return false;
        }
        png = f.readAll();
        if (QImage::fromData(png, "PNG").isNull()) {
            *why = QStringLiteral("%1 不是 PNG 图片").arg(QDir::toNativeSeparators(imagePath));
            return false;
        }
    }
    const QString before = noticeDetails();
    const auto store = SettingsStore::open();
    store->setValue(QStringLiteral("notice/details"), text.trimmed());
    if (newImage)
        store->setValue(QStringLiteral("notice/image"), png.toBase64());
    else if (imagePath == QStringLiteral("-"))
        store->remove(QStringLiteral("notice/image"));
    store->sync();
    if (store->status() != QSettings::NoError) {
        *why = QStringLiteral("收款信息没有保存：无法写入 %1").arg(store->fileName());
        return false;
    }
    QStringList changes;
    if (before != text.trimmed())
        changes << QStringLiteral("缴费通知的收款信息：%1 → %2")
                       .arg(before.isEmpty() ? QStringLiteral("（空）") : before,
                            text.trimmed().isEmpty() ? QStringLiteral("（空）") : text.trimmed());
    if (newImage)
        changes
            << QStringLiteral("缴费通知的收款码图片：换为 %1").arg(QFileInfo(imagePath).fileName());
    else if (imagePath == QStringLiteral("-"))
        changes << QStringLiteral("缴费通知的收款码图片：去掉");
    if (!changes.isEmpty())
        emit valuesChanged(changes);
    return true;
}

QString OfficeSettings::bankColumns(const QString &bank)
{
    return SettingsStore::open()
        ->value(QStringLiteral("statement/bank/%1").arg(QString::fromLatin1(bank.toUtf8().toHex())))
        .toString();
}

void OfficeSettings::setBankColumns(const QString &bank, const QString &columns)
{
    const auto store = SettingsStore::open();
    store->setValue(
        QStringLiteral("statement/bank/%1").arg(QString::fromLatin1(bank.toUtf8().toHex())),
        columns);
    store->sync();
}

QPointF OfficeSettings::calibration(const QString &printerName)
{
    return Calibration::offsetFor(printerName);
}

bool OfficeSettings::setCalibration(const QString &printerName, const QPointF &offset)
{
    return Calibration::setOffsetFor(printerName, offset);
}
