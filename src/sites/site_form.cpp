#include "sites/site_form.h"

#include "session/ftp_address.h"
#include "shell/constants.h"
#include "shell/window_kit.h"
#include "sites/site_passwords.h"
#include "sites/site_store.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace quillmar {

namespace {


QLineEdit* AddBox(QGridLayout* grid, int row, const char* name, const QString& caption, const QString& tip,
                  const char* labelName)
{
    auto* box = new QLineEdit;
    box->setObjectName(QLatin1String(name));
    box->setToolTip(tip);
    auto* label = new QLabel(caption);
    label->setObjectName(QLatin1String(labelName));
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    return box;
}

// The one-line hint under a box: what its tool tip says, always in view.
void AddHint(QGridLayout* grid, const QLineEdit* box, const char* name)
{
    auto* hint = new QLabel(box->toolTip());
    hint->setObjectName(QLatin1String(name));
    hint->setWordWrap(true);  // one line where there is room; never wider than the screen
    QFont small = hint->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    hint->setFont(small);
    hint->setForegroundRole(QPalette::PlaceholderText);
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(grid->indexOf(box), &row, &column, &rows, &columns);
    grid->addWidget(hint, row + 1, column);
}

// The list shows each site by its name; the item keeps the whole stored
// entry (with its password) as its text, never shown.
class SiteNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        const std::optional<SiteFields> site = SplitSiteEntry(value.toString());
        if (!site)
            return QStyledItemDelegate::displayText(value, locale);
        return SiteName(*site);
    }
};

QPushButton* AddButton(QHBoxLayout* row, const char* name, const QString& caption, const QString& tip)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(tip);
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

}  // namespace

SiteForm::SiteForm(const Services& services, ConnectionSettings& settings, SitePasswords& passwords,
                   std::function<void()> connect, QWidget* parent)
    : QWidget(parent, Qt::Window),
      services_(services),
      settings_(settings),
      passwords_(passwords),
      connect_(std::move(connect))
{
    setObjectName(QStringLiteral("SiteForm"));
    setWindowTitle(QStringLiteral("Your Site Manager"));
    buildElements();
}

void SiteForm::buildElements()
{
    auto* sites = new QGroupBox(QStringLiteral(" Favorite Site List "));
    sites->setObjectName(QStringLiteral("Frame1"));
    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("List1"));
    list_->setToolTip(QStringLiteral("Your saved remote sites."));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setMinimumWidth(180);
    list_->setItemDelegate(new SiteNameDelegate(list_));
    (new QVBoxLayout(sites))->addWidget(list_);

    auto* info = new QGroupBox(QStringLiteral(" Remote Site Information "));
    info->setObjectName(QStringLiteral("Frame2"));
    auto* grid = new QGridLayout;
    txtSite_ = AddBox(grid, 0, "txtSite", QStringLiteral("Description:"),
                      QStringLiteral("Enter site description here."), "lblSite");
    txtRemote_ = AddBox(grid, 1, "txtRemote", QStringLiteral("Server Address:"),
                        QStringLiteral("Enter remote address here, WITHOUT the ftp:// in front."), "lblRemote");
    txtLogin_ = AddBox(grid, 2, "txtLogin", QStringLiteral("Login:"), QStringLiteral("Enter your site login."),
                       "lblLogin");
    txtPass_ = AddBox(grid, 3, "txtPass", QStringLiteral("Password:"), QStringLiteral("Enter your site password."),
                      "lblPass");
    txtPass_->setEchoMode(QLineEdit::Password);
    txtPass_->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
    txtWeb_ = AddBox(grid, 4, "txtWeb", QStringLiteral("Web address:"),
                     QStringLiteral("Where the server folder below is seen on the web, for example "
                                    "https://www.example.org/"),
                     "lblWeb");
    AddHint(grid, txtWeb_, "hintWeb");
    txtWebFolder_ = AddBox(grid, 6, "txtWebFolder", QStringLiteral("Server folder:"),
                           QStringLiteral("The server folder that web address shows, for example /public_html"),
                           "lblWebFolder");
    AddHint(grid, txtWebFolder_, "hintWebFolder");

    struct Button {
        const char* name;
        const char* caption;
        const char* tip;
        void (SiteForm::*clicked)();
    };
    static const Button kButtons[] = {
        {"Command4", "Clear", "Clears out information so you can add a new site.", &SiteForm::clearBoxes},
        {"Command2", "Add ", "Add this information as a new site.", &SiteForm::addSite},
        {"cmdSave", "&Save", "Save these changes to the selected site.", &SiteForm::saveSite},
        {"Command1", "Delete", "Remove the selected entry.", &SiteForm::deleteSite},
        {"CloseBtn", "Connect", "Connect to selected site.", &SiteForm::saveAndConnect},
        {"Command3", "Exit", "Exit site manager without saving.", &SiteForm::saveAndExit},
    };
    auto* buttons = new QHBoxLayout;
    QPushButton* connectButton = nullptr;
    for (const Button& button : kButtons) {
        QPushButton* made =
            AddButton(buttons, button.name, QLatin1String(button.caption), QLatin1String(button.tip));
        connect(made, &QPushButton::clicked, this, button.clicked);
        if (button.clicked == &SiteForm::saveAndConnect)
            connectButton = made;
    }
    lblPasswordPlace_ = new QLabel;
    lblPasswordPlace_->setObjectName(QStringLiteral("lblPasswordPlace"));
    lblPasswordPlace_->setWordWrap(true);
    auto* infoLayout = new QVBoxLayout(info);
    infoLayout->addLayout(grid);
    infoLayout->addWidget(lblPasswordPlace_);
    infoLayout->addStretch();
    infoLayout->addLayout(buttons);
    lblStatus_ = new QLabel;
    lblStatus_->setObjectName(QStringLiteral("lblStatus"));
    infoLayout->addWidget(lblStatus_);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(sites);
    layout->addWidget(info, 1);
    setTabOrder(txtSite_, txtRemote_);
    setTabOrder(txtRemote_, txtLogin_);
    setTabOrder(txtLogin_, txtPass_);
    setTabOrder(txtPass_, txtWeb_);
    setTabOrder(txtWeb_, txtWebFolder_);

    // A selection (click or keyboard) is complete only once the item is
    // selected, which comes after it becomes current.
    connect(list_, &QListWidget::itemSelectionChanged, this, &SiteForm::chooseSelectedSite);
    connect(list_, &QListWidget::itemDoubleClicked, this, &SiteForm::connectToClickedSite);
    MakeDefaultButton(this, connectButton);
}

void SiteForm::Open()
{
    if (!loaded_) {
        const QSignalBlocker quiet(list_);
        list_->clear();
        list_->addItems(LoadSiteList(services_.appFolder));
        list_->setCurrentRow(-1);
        loaded_ = true;
    }
    savedForClose_ = false;
    lblPasswordPlace_->setText(passwords_.keptInKeyring()
                                   ? QStringLiteral("Passwords are kept in the system keyring.")
                                   : QStringLiteral("Passwords are stored in sites.snd in your data folder."));
    showSettings();
    ShowOverMainWindow(this);
}

void SiteForm::showSettings()
{
    txtLogin_->setText(settings_.User);
    txtPass_->setText(settings_.Pass);
    txtRemote_->setText(settings_.URL);
    txtSite_->setText(settings_.Description);
    txtWeb_->setText(settings_.WebAddress);
    txtWebFolder_->setText(settings_.WebFolder);
}

void SiteForm::clearBoxes()
{
    txtLogin_->clear();
    txtSite_->clear();
    txtPass_->clear();
    txtRemote_->clear();
    txtWeb_->clear();
    txtWebFolder_->clear();
}

void SiteForm::chooseSite(const SiteFields& site)
{
    settings_.Description = site.description;
    settings_.URL = site.address;
    settings_.User = site.login;
    settings_.Pass = site.password;
    settings_.WebAddress = site.webAddress;
    settings_.WebFolder = site.webFolder;
}

void SiteForm::ParseView()
{
    QListWidgetItem* selected = list_->currentItem();
    if (!selected || !selected->isSelected())
        return;
    // A blank or hand-edited line has no four values: it changes nothing,
    // and a double click on it does not connect.
    const std::optional<SiteFields> site = SplitSiteEntry(selected->text());
    if (!site)
        return;
    chooseSite(withPassword(*site));
    showSettings();
    if (connectOnChoice_) {
        connect_();
        close();
    }
}

void SiteForm::chooseSelectedSite()
{
    const QScopedValueRollback choosing(connectOnChoice_, false);
    ParseView();
}

void SiteForm::connectToClickedSite()
{
    const QScopedValueRollback connecting(connectOnChoice_, true);
    ParseView();
}

SiteFields SiteForm::fieldsFromBoxes() const
{
    return SiteFields{txtSite_->text(), txtRemote_->text(), txtLogin_->text(), txtPass_->text(),
                      txtWeb_->text(), txtWebFolder_->text()};
}

bool SiteForm::boxesRefused()
{
    const SiteFields site = fieldsFromBoxes();
    // In the keyring a password may hold what sites.snd cannot.
    QString problem = SiteFieldProblem(site, passwords_.keptInKeyring() ? PasswordKept::Elsewhere : PasswordKept::InStore);
    if (problem.isEmpty())
        problem = ServerAddressProblem(site.address);
    tell(problem);
    return !problem.isEmpty();
}

SiteFields SiteForm::withPassword(SiteFields site)
{
    // A keyring that does not answer leaves the box empty; Connect then asks.
    if (site.password.isEmpty() && !site.address.isEmpty()) {
        const PasswordStore::Answer answer = passwords_.find(site.login, site.address);
        if (answer.outcome == PasswordStore::Outcome::Done)
            site.password = answer.password;
    }
    return site;
}

std::optional<QString> SiteForm::entryFromBoxes()
{
    QString problem;
    const std::optional<QString> entry =
        passwords_.entryFor(fieldsFromBoxes(), &problem);
    tell(problem);
    return entry;
}

QStringList SiteForm::rowTexts() const
{
    QStringList texts;
    for (int row = 0; row < list_->count(); ++row)
        texts << list_->item(row)->text();
    return texts;
}

void SiteForm::forgetPasswordOnSave(const SiteFields& site)
{
    if (site.password.isEmpty())
        forgetOnSave_.append(site);
}

void SiteForm::forgetPasswordsNoLongerUsed()
{
    const QList<SiteFields> gone = std::exchange(forgetOnSave_, {});
    if (!passwords_.keyringAnswers())
        return;
    const QStringList rows = rowTexts();
    for (const SiteFields& site : gone) {
        if (PasswordKeyInUse(rows, PasswordKey(site.login, site.address), -1))
            continue;
        QString problem;
        passwords_.forget(site.login, site.address, &problem);
        tell(problem);
    }
}

void SiteForm::tell(const QString& problem)
{
    if (!problem.isEmpty())
        services_.dialogs->message(problem, Dialogs::Buttons::Ok, Dialogs::Icon::Information, kAppTitle);
}

QListWidgetItem* SiteForm::selectedItem() const
{
    QListWidgetItem* item = list_->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

void SiteForm::addSite()
{
    if (boxesRefused())
        return;
    const std::optional<QString> entry = entryFromBoxes();
    if (!entry)
        return;
    // The new site is the selected one, its fields in the boxes.
    list_->addItem(*entry);
    list_->setCurrentRow(list_->count() - 1, QItemSelectionModel::ClearAndSelect);
    lblStatus_->clear();
}

void SiteForm::saveSite()
{
    QListWidgetItem* selected = selectedItem();
    if (!selected) {
        services_.dialogs->message(QStringLiteral("Select the site to save the changes to, or use Add for a new site."),
                                   Dialogs::Buttons::Ok, Dialogs::Icon::Information, kAppTitle);
        return;
    }
    if (boxesRefused())
        return;
    const std::optional<QString> entry = entryFromBoxes();
    if (!entry) {
        if (txtRemote_->text().isEmpty())
            tell(QStringLiteral("A site needs a server address."));
        return;
    }
    const std::optional<SiteFields> old = SplitSiteEntry(selected->text());
    const std::optional<SiteFields> site = SplitSiteEntry(*entry);
    // A new login or address takes the keyring entry along.
    if (old && site && PasswordKey(old->login, old->address) != PasswordKey(site->login, site->address)
        && old->password.isEmpty() && passwords_.keyringAnswers()) {
        QString problem;
        if (txtPass_->text().isEmpty())
            passwords_.copy(old->login, old->address, site->login, site->address, &problem);
        tell(problem);
        if (problem.isEmpty())
            forgetPasswordOnSave(*old);
    }
    selected->setText(*entry);
    // The saved entry is the chosen site now, so a connection uses what was saved.
    if (site)
        chooseSite(withPassword(*site));
    if (saveList())
        lblStatus_->setText(QStringLiteral("Saved \u201C%1\u201D in your site list.").arg(site ? SiteName(*site) : *entry));
}

void SiteForm::deleteSite()
{
    QListWidgetItem* selected = selectedItem();
    if (!selected)
        return;
    const std::optional<SiteFields> site = SplitSiteEntry(selected->text());
    QString name = selected->text().trimmed();
    if (site)
        name = SiteName(*site);
    const QString question =
        QStringLiteral("Are you sure you want to delete the site \"%1\" from your site list?").arg(name);
    if (services_.dialogs->message(question, Dialogs::Buttons::YesNo, Dialogs::Icon::None,
                                   QStringLiteral("Confirmation")) != Dialogs::kYes)
        return;
    if (site)
        forgetPasswordOnSave(*site);
    // Removing moves the current row; that is no choice of the person's.
    {
        const QSignalBlocker quiet(list_);
        delete list_->takeItem(list_->row(selected));
        list_->clearSelection();
        list_->setCurrentRow(-1);
    }
    clearBoxes();
}

void SiteForm::saveAndConnect()
{
    if (!saveList())
        return;  // no connection with a list that could not be kept
    savedForClose_ = true;
    hide();
    close();
    connect_();
}

void SiteForm::saveAndExit()
{
    if (!saveList())
        return;
    savedForClose_ = true;
    close();
}

bool SiteForm::saveList()
{
    QString error;
    if (SaveSiteList(services_.appFolder, rowTexts(), &error)) {
        forgetPasswordsNoLongerUsed();
        return true;
    }
    services_.dialogs->message(error, Dialogs::Buttons::Ok, Dialogs::Icon::None, kAppTitle);
    return false;
}

void SiteForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
        button->click();
    else
        saveAndConnect();
}

void SiteForm::closeEvent(QCloseEvent* event)
{
    if (!savedForClose_)
        saveList();  // the close goes ahead even when the list could not be written
    savedForClose_ = false;
    forgetOnSave_.clear();
    loaded_ = false;
    event->accept();
}

}  // namespace quillmar
