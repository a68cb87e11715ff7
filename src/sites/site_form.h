#pragma once

#include "shell/connection_settings.h"
#include "shell/services.h"
#include "sites/site_store.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace quillmar {

class SitePasswords;

// The site manager: the user's saved accounts and the boxes to add one.
// Picking an entry replaces the connection settings at once; a double click
// also connects. The list is written back to the store whenever the window
// closes, whichever way.
class SiteForm : public QWidget {
    Q_OBJECT
public:
    // connect runs the main window's Connect; passwords keeps the sites' passwords.
    SiteForm(const Services& services, ConnectionSettings& settings, SitePasswords& passwords,
             std::function<void()> connect, QWidget* parent = nullptr);

    // Loads the list when the window is not loaded, shows the current
    // settings in the boxes and shows the window.
    void Open();

    // Copies the selected entry into the settings and the boxes; after a
    // double click it then connects and closes the window.
    void ParseView();

    void chooseSelectedSite();     // a click or a key selected a row
    void connectToClickedSite();   // a double click on a row
    void addSite();                // Add: the boxes become a new entry
    void saveSite();               // Save: the boxes replace the selected entry
    void deleteSite();             // Delete, after a question
    void saveAndConnect();         // Connect
    void saveAndExit();            // Exit

    bool isLoaded() const { return loaded_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter connects, as the Connect button does, unless a button has the focus.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildElements();
    void showSettings();
    void clearBoxes();
    SiteFields fieldsFromBoxes() const;
    // Tells the person why the boxes cannot make a site; false when they can.
    bool boxesRefused();
    // The entry the boxes make, its password kept where passwords are kept;
    // empty without a server address.
    std::optional<QString> entryFromBoxes();
    QStringList rowTexts() const;
    // A site whose password lives in the keyring gets it from there.
    SiteFields withPassword(SiteFields site);
    // The keyring entry of a site that is gone or has moved to another login
    // or address goes once the list without it is saved, unless another row
    // still uses it: a list that is never saved still needs the password.
    void forgetPasswordOnSave(const SiteFields& site);
    void forgetPasswordsNoLongerUsed();
    void tell(const QString& problem);
    QListWidgetItem* selectedItem() const;
    // The site's values become the connection settings.
    void chooseSite(const SiteFields& site);
    // Writes the list to the store; on failure tells the person why.
    bool saveList();

    Services services_;
    ConnectionSettings& settings_;
    SitePasswords& passwords_;
    std::function<void()> connect_;

    QListWidget* list_ = nullptr;
    QLabel* lblStatus_ = nullptr;  // what the last Save did
    QLineEdit* txtSite_ = nullptr;
    QLineEdit* txtRemote_ = nullptr;
    QLineEdit* txtLogin_ = nullptr;
    QLineEdit* txtPass_ = nullptr;
    QLineEdit* txtWeb_ = nullptr;
    QLineEdit* txtWebFolder_ = nullptr;
    QLabel* lblPasswordPlace_ = nullptr;

    bool connectOnChoice_ = false;  // the choice came from a double click
    bool loaded_ = false;
    QList<SiteFields> forgetOnSave_;
    bool savedForClose_ = false;  // the list was just written; closing need not write it again
};

}  // namespace quillmar
