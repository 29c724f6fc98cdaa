#include "signin.h"

#include "feesettings.h"
#include "officesession.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
QLineEdit *passwordField(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setEchoMode(QLineEdit::Password);
    e->setObjectName(QLatin1String(name));
    return e;
}

QLabel *messageField(QWidget *parent)
{
    auto *m = new QLabel(parent);
    m->setObjectName(QStringLiteral("message"));
    m->setWordWrap(true);
    m->setStyleSheet(QStringLiteral("color: #b00020"));
    return m;
}
} // namespace

SignInPanel::SignInPanel(OfficeSession &session, QWidget *parent)
    : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("signInPanel"));
    setAutoFillBackground(true);
    auto *outer = new QVBoxLayout(this);
    auto *box = new QWidget(this);
    box->setMaximumWidth(420);
    auto *form = new QVBoxLayout(box);
    m_title = new QLabel(box);
    m_title->setWordWrap(true);
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    m_title->setFont(big);
    m_users = new QListWidget(box);
    m_users->setObjectName(QStringLiteral("users"));
    m_name = new QLineEdit(box);
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setPlaceholderText(QStringLiteral("姓名"));
    m_password = passwordField(box, "password");
    m_password->setPlaceholderText(QStringLiteral("密码"));
    m_repeat = passwordField(box, "repeat");
    m_repeat->setPlaceholderText(QStringLiteral("再输入一次密码"));
    m_message = messageField(box);
    m_signIn = new QPushButton(QStringLiteral("登录"), box);
    m_signIn->setObjectName(QStringLiteral("signIn"));
    m_signIn->setDefault(true);
    form->addWidget(m_title);
    form->addWidget(m_users);
    form->addWidget(m_name);
    form->addWidget(m_password);
    form->addWidget(m_repeat);
    form->addWidget(m_message);
    form->addWidget(m_signIn);
    outer->addStretch();
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(box);
    row->addStretch();
    outer->addLayout(row);
    outer->addStretch();
    connect(m_signIn, &QPushButton::clicked, this, &SignInPanel::submit);
    connect(m_password, &QLineEdit::returnPressed, this, &SignInPanel::submit);
    connect(m_repeat, &QLineEdit::returnPressed, this, &SignInPanel::submit);
    connect(m_users, &QListWidget::itemActivated, m_password, qOverload<>(&QWidget::setFocus));
}

void SignInPanel::showFor(const QString &name)
{
    m_firstUser = m_session.users().needsFirstUser();
    m_password->clear();
    m_repeat->clear();
    m_message->clear();
    m_users->clear();
    if (m_firstUser) {
        m_title->setText(QStringLiteral("还没有用户。请先建立第一位园长（管理员）："
                                        "他可以添加其他用户，并设定每人的角色。"));
        m_signIn->setText(QStringLiteral("建立并登录"));
    } else {
        m_title->setText(QStringLiteral("请选择您的姓名并输入密码"));
        m_signIn->setText(QStringLiteral("登录"));
        QString error;
        const auto users = m_session.users().users(&error);
        if (!users)
            m_message->setText(QStringLiteral("无法读取用户：%1").arg(error));
        for (const UserStore::User &u : users.value_or(QVector<UserStore::User>{})) {
            if (!u.active)
                continue;
            auto *item = new QListWidgetItem(
                QStringLiteral("%1（%2）").arg(u.name, Roles::name(u.role)), m_users);
            item->setData(Qt::UserRole, u.name);
            if (u.name == name)
                m_users->setCurrentItem(item);
        }
        if (!m_users->currentItem() && m_users->count() > 0)
            m_users->setCurrentRow(0);
    }
    m_users->setVisible(!m_firstUser);
    m_name->setVisible(m_firstUser);
    m_repeat->setVisible(m_firstUser);
    show();
    raise();
    (m_firstUser ? m_name : m_password)->setFocus();
}

bool SignInPanel::submit()
{
    if (m_firstUser) {
        if (m_password->text() != m_repeat->text()) {
            m_message->setText(QStringLiteral("两次输入的密码不一样"));
            return false;
        }
        const WriteResult r =
            m_session.users().addFirstAdministrator(m_name->text(), m_password->text());
        m_password->clear();
        m_repeat->clear();
        if (!r) {
            m_message->setText(r.oneLine());
            return false;
        }
    } else {
        const QListWidgetItem *item = m_users->currentItem();
        if (!item) {
            m_message->setText(QStringLiteral("请先选择您的姓名"));
            return false;
        }
        const UserStore::SignIn s =
            m_session.users().signIn(item->data(Qt::UserRole).toString(), m_password->text());
        m_password->clear();
        if (!s.user) {
            m_message->setText(s.refusal);
            return false;
        }
    }
    m_message->clear();
    hide();
    emit signedIn();
    return true;
}

PasswordDialog::PasswordDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("passwordDialog"));
    setWindowTitle(QStringLiteral("修改密码"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *form = new QFormLayout(this);
    m_old = passwordField(this, "old");
    m_new = passwordField(this, "new");
    m_repeat = passwordField(this, "repeat");
    m_message = messageField(this);
    form->addRow(QStringLiteral("原密码"), m_old);
    form->addRow(QStringLiteral("新密码"), m_new);
    form->addRow(QStringLiteral("再输入一次"), m_repeat);
    form->addRow(m_message);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("修改"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (submit())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool PasswordDialog::submit()
{
    if (m_new->text() != m_repeat->text()) {
        m_message->setText(QStringLiteral("两次输入的新密码不一样"));
        return false;
    }
    const WriteResult r = m_session.users().changeOwnPassword(m_old->text(), m_new->text());
    m_old->clear();
    m_new->clear();
    m_repeat->clear();
    if (!r) {
        m_message->setText(r.oneLine());
        return false;
    }
    m_message->setText(QStringLiteral("密码已修改"));
    return true;
}

namespace
{
const QString idleKey = QStringLiteral("lock/idleMinutes");
}

int UsersDialog::idleMinutes()
{
    const auto store = SettingsStore::open();
    bool ok = false;
    const int minutes = store->value(idleKey, 10).toInt(&ok);
    return ok && minutes >= 0 ? minutes : 10;
}

UsersDialog::UsersDialog(OfficeSession &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("usersDialog"));
    setWindowTitle(QStringLiteral("用户"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName(QStringLiteral("userTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("姓名"), QStringLiteral("角色"),
                                        QStringLiteral("状态"), QStringLiteral("建立者"),
                                        QStringLiteral("建立时间")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);

    auto *form = new QFormLayout;
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));
    m_role = new QComboBox(this);
    m_role->setObjectName(QStringLiteral("role"));
    for (Roles::Role r : Roles::all())
        m_role->addItem(Roles::name(r), int(r));
    m_password = passwordField(this, "password");
    form->addRow(QStringLiteral("姓名（添加时）"), m_name);
    form->addRow(QStringLiteral("角色"), m_role);
    form->addRow(QStringLiteral("密码（添加或重设时）"), m_password);
    layout->addLayout(form);
    auto *buttons = new QHBoxLayout;
    const struct {
        const char16_t *text;
        const char *name;
        bool (UsersDialog::*act)();
    } commands[] = {{u"添加用户", "add", &UsersDialog::addUser},
                    {u"重设密码", "reset", &UsersDialog::resetPassword},
                    {u"改为所选角色", "role", &UsersDialog::changeRole},
                    {u"停用/启用", "active", &UsersDialog::toggleActive}};
    for (const auto &c : commands) {
        auto *b = new QPushButton(QString::fromUtf16(c.text), this);
        b->setObjectName(QLatin1String(c.name));
        b->setAutoDefault(false);
        const auto act = c.act;
        connect(b, &QPushButton::clicked, this, [this, act] { (this->*act)(); });
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    auto *idleRow = new QHBoxLayout;
    m_idle = new QSpinBox(this);
    m_idle->setObjectName(QStringLiteral("idle"));
    m_idle->setRange(0, 240);
    m_idle->setSuffix(QStringLiteral(" 分钟"));
    m_idle->setSpecialValueText(QStringLiteral("不自动锁定"));
    m_idle->setValue(idleMinutes());
    auto *saveIdleButton = new QPushButton(QStringLiteral("保存"), this);
    saveIdleButton->setObjectName(QStringLiteral("saveIdle"));
    saveIdleButton->setAutoDefault(false);
    connect(saveIdleButton, &QPushButton::clicked, this, &UsersDialog::saveIdle);
    idleRow->addWidget(new QLabel(QStringLiteral("无人操作多久后锁定："), this));
    idleRow->addWidget(m_idle);
    idleRow->addWidget(saveIdleButton);
    idleRow->addStretch();
    layout->addLayout(idleRow);
    m_message = messageField(this);
    layout->addWidget(m_message);

    // What each role may do, as the program checks it.
    const QVector<Roles::Permission> permissions = Roles::permissions();
    const QVector<Roles::Role> roles = Roles::all();
    m_roles = new QTableWidget(int(permissions.size()), int(roles.size()), this);
    m_roles->setObjectName(QStringLiteral("rolesTable"));
    QStringList roleNames, rows;
    for (Roles::Role r : roles)
        roleNames << Roles::name(r);
    for (Roles::Permission p : permissions)
        rows << Roles::describe(p);
    m_roles->setHorizontalHeaderLabels(roleNames);
    m_roles->setVerticalHeaderLabels(rows);
    m_roles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int i = 0; i < permissions.size(); ++i)
        for (int j = 0; j < roles.size(); ++j) {
            auto *item = new QTableWidgetItem(
                Roles::may(roles.at(j), permissions.at(i)) ? QStringLiteral("✓") : QString());
            item->setTextAlignment(Qt::AlignCenter);
            m_roles->setItem(i, j, item);
        }
    layout->addWidget(new QLabel(QStringLiteral("各角色可以做的事："), this));
    layout->addWidget(m_roles);
    resize(640, 680);
    showUsers();
}

void UsersDialog::showUsers()
{
    QString error;
    const auto users = m_session.users().users(&error);
    if (!users) {
        m_message->setText(QStringLiteral("无法读取用户：%1").arg(error));
        return;
    }
    m_table->setRowCount(int(users->size()));
    for (int i = 0; i < users->size(); ++i) {
        const UserStore::User &u = users->at(i);
        const QStringList cells = {u.name, Roles::name(u.role),
                                   u.active ? QStringLiteral("可以登录") : QStringLiteral("已停用"),
                                   u.madeBy, u.madeAt.toString(QStringLiteral("yyyy-MM-dd HH:mm"))};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(i, c, new QTableWidgetItem(cells.at(c)));
    }
}

QString UsersDialog::chosen() const
{
    const int row = m_table->currentRow();
    const QTableWidgetItem *item = row >= 0 ? m_table->item(row, 0) : nullptr;
    return item ? item->text() : QString();
}

bool UsersDialog::said(const WriteResult &r, const QString &done)
{
    m_password->clear();
    m_message->setStyleSheet(r ? QString() : QStringLiteral("color: #b00020"));
    m_message->setText(r ? done : r.oneLine());
    if (r)
        showUsers();
    return r.ok();
}

bool UsersDialog::addUser()
{
    const QString name = m_name->text().trimmed();
    const auto role = Roles::Role(m_role->currentData().toInt());
    const WriteResult r = m_session.users().add(name, role, m_password->text());
    if (r)
        m_name->clear();
    return said(r, QStringLiteral("已添加用户“%1”（%2）").arg(name, Roles::name(role)));
}

namespace
{
WriteResult noneChosen()
{
    return WriteResult::failure(WriteResult::Refused, QStringLiteral("请先在表中选中一位用户"));
}
} // namespace

bool UsersDialog::resetPassword()
{
    const QString name = chosen();
    if (name.isEmpty())
        return said(noneChosen(), {});
    return said(m_session.users().resetPassword(name, m_password->text()),
                QStringLiteral("已重设“%1”的密码").arg(name));
}

bool UsersDialog::changeRole()
{
    const QString name = chosen();
    if (name.isEmpty())
        return said(noneChosen(), {});
    const auto role = Roles::Role(m_role->currentData().toInt());
    return said(m_session.users().setRole(name, role),
                QStringLiteral("“%1”现在是%2").arg(name, Roles::name(role)));
}

bool UsersDialog::toggleActive()
{
    const QString name = chosen();
    if (name.isEmpty())
        return said(noneChosen(), {});
    const auto user = m_session.users().users().value_or(QVector<UserStore::User>{});
    bool active = true;
    for (const UserStore::User &u : user)
        if (u.name == name)
            active = u.active;
    return said(m_session.users().setActive(name, !active),
                QStringLiteral("已%1用户“%2”")
                    .arg(active ? QStringLiteral("停用") : QStringLiteral("启用"), name));
}

bool UsersDialog::saveIdle()
{
    if (const QString no = m_session.access().refusal(Roles::Users); !no.isEmpty())
        return said(WriteResult::failure(WriteResult::Refused, no), {});
    const auto store = SettingsStore::open();
    store->setValue(idleKey, m_idle->value());
    store->sync();
    if (store->status() != QSettings::NoError)
        return said(WriteResult::failure(
                        WriteResult::File,
                        QStringLiteral("设置保存失败：%1 无法写入").arg(store->fileName())),
                    {});
    return said(WriteResult::success(), QStringLiteral("已保存：下次无人操作时按新的时间锁定"));
}

ApprovalDialog::ApprovalDialog(const QString &what, const QStringList &approvers, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("approvalDialog"));
    setWindowTitle(QStringLiteral("需要批准"));
    auto *form = new QFormLayout(this);
    auto *text =
        new QLabel(QStringLiteral("%1需要会计或园长批准：请批准的人在这里登录。").arg(what), this);
    text->setWordWrap(true);
    form->addRow(text);
    m_name = new QComboBox(this);
    m_name->setObjectName(QStringLiteral("approver"));
    m_name->addItems(approvers);
    m_password = passwordField(this, "password");
    form->addRow(QStringLiteral("批准人"), m_name);
    form->addRow(QStringLiteral("密码"), m_password);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("批准"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    buttons->button(QDialogButtonBox::Cancel)->setDefault(false);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
