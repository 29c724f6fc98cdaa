#pragma once

#include <QDialog>
#include <QWidget>

class OfficeSession;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;

// Covers the main window while nobody is signed in: at start, after 锁定
// and for 切换用户. The rosters behind it stay as they are, saved or not.
// On a database without users it asks for the first administrator.
class SignInPanel : public QWidget
{
    Q_OBJECT
public:
    explicit SignInPanel(OfficeSession &session, QWidget *parent);

    // Shows the users (the one given chosen), or the first administrator's
    // form when there are none; the password field takes the focus.
    void showFor(const QString &name = {});
    bool isFirstUser() const { return m_firstUser; }

    QListWidget *userList() const { return m_users; }
    QLineEdit *nameEdit() const { return m_name; }
    QLineEdit *passwordEdit() const { return m_password; }
    QLineEdit *repeatEdit() const { return m_repeat; }
    QLabel *messageLabel() const { return m_message; }
    QPushButton *signInButton() const { return m_signIn; }

    // Signs in with what is typed; false with the reason shown.
    bool submit();

signals:
    void signedIn();

private:
    OfficeSession &m_session;
    bool m_firstUser = false;
    QLabel *m_title = nullptr;
    QListWidget *m_users = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_repeat = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_signIn = nullptr;
};

// 修改密码: the signed-in user's own, with the old one.
class PasswordDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PasswordDialog(OfficeSession &session, QWidget *parent);
    QLineEdit *oldEdit() const { return m_old; }
    QLineEdit *newEdit() const { return m_new; }
    QLineEdit *repeatEdit() const { return m_repeat; }
    QLabel *messageLabel() const { return m_message; }
    // Changes it; false with the reason shown.
    bool submit();

private:
    OfficeSession &m_session;
    QLineEdit *m_old = nullptr, *m_new = nullptr, *m_repeat = nullptr;
    QLabel *m_message = nullptr;
};

// 用户: the administrator's window. The users with role and state, adding
// one, a new password for one, another role, stopping and starting an
// account, the idle time before the window locks, and the roles' table.
class UsersDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UsersDialog(OfficeSession &session, QWidget *parent);

    QTableWidget *userTable() const { return m_table; }
    QTableWidget *rolesTable() const { return m_roles; }
    QLineEdit *nameEdit() const { return m_name; }
    QComboBox *roleBox() const { return m_role; }
    QLineEdit *passwordEdit() const { return m_password; }
    QSpinBox *idleBox() const { return m_idle; }
    QLabel *messageLabel() const { return m_message; }

    // On the user typed (add) or the user chosen in the table (the rest);
    // false with the reason shown.
    bool addUser();
    bool resetPassword();
    bool changeRole();
    bool toggleActive();
    bool saveIdle();

    // Minutes without input before the window locks (0: never); 10 unless set.
    static int idleMinutes();

private:
    void showUsers();
    QString chosen() const;
    bool said(const struct WriteResult &r, const QString &done);

    OfficeSession &m_session;
    QTableWidget *m_table = nullptr;
    QTableWidget *m_roles = nullptr;
    QLineEdit *m_name = nullptr;
    QComboBox *m_role = nullptr;
    QLineEdit *m_password = nullptr;
    QSpinBox *m_idle = nullptr;
    QLabel *m_message = nullptr;
};

// A 会计 or 园长 signs in on the spot to approve a 收费员's void or refund.
class ApprovalDialog : public QDialog
{
    Q_OBJECT
public:
    ApprovalDialog(const QString &what, const QStringList &approvers, QWidget *parent);
    QComboBox *nameBox() const { return m_name; }
    QLineEdit *passwordEdit() const { return m_password; }

private:
    QComboBox *m_name = nullptr;
    QLineEdit *m_password = nullptr;
};
