#pragma once

#include <QString>

namespace quillmar {

// Somewhere to keep passwords outside our own files: the system keyring.
// Each call returns once the keyring has answered, or has failed to.
class PasswordStore {
public:
    enum class Outcome { Done, NotFound, Failed };
    struct Answer {
        Outcome outcome = Outcome::Failed;
        QString password;  // read only
        QString problem;   // Failed only: what the keyring said, for the person
    };
    virtual ~PasswordStore() = default;
    virtual Answer store(const QString& key, const QString& password) = 0;
    virtual Answer read(const QString& key) = 0;
    // Removing an entry that is not there is Done.
    virtual Answer remove(const QString& key) = 0;
};

}  // namespace quillmar
