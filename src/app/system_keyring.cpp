#include "app/system_keyring.h"

#include "shell/constants.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <chrono>
#include <functional>
#include <memory>

namespace quillmar {

namespace {

// Long enough for a person to unlock the keyring at its own prompt; a
// keyring that never answers still cannot hold the program for good.
constexpr std::chrono::minutes kAnswerTimeOut{2};

// Runs a job and waits for its answer in a local loop, with a time-out. A
// job that has not answered by then is left to delete itself when it does,
// since the keyring may still call back into it.
template <typename Job>
PasswordStore::Answer Run(const QString& key, const std::function<void(Job&)>& prepare,
                          const std::function<void(Job&, PasswordStore::Answer&)>& collect = {})
{
    using Outcome = PasswordStore::Outcome;
    auto* job = new Job(kAppTitle);
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(key);
    prepare(*job);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kAnswerTimeOut, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec();
    if (!finished) {
        QObject::disconnect(job, nullptr, &loop, nullptr);
        job->setAutoDelete(true);
        return {Outcome::Failed, {}, QStringLiteral("the system keyring did not answer")};
    }
    const std::unique_ptr<Job> done(job);
    PasswordStore::Answer answer;
    switch (job->error()) {
    case QKeychain::NoError:
        answer.outcome = Outcome::Done;
        break;
    case QKeychain::EntryNotFound:
        answer.outcome = Outcome::NotFound;
        break;
    default:
        answer.problem = job->errorString();
        break;
    }
    if (collect)
        collect(*job, answer);
    return answer;
}

class SystemKeyring : public PasswordStore {
public:
    Answer store(const QString& key, const QString& password) override
    {
        return Run<QKeychain::WritePasswordJob>(
            key, [&password](QKeychain::WritePasswordJob& job) { job.setTextData(password); });
    }

    Answer read(const QString& key) override
    {
        return Run<QKeychain::ReadPasswordJob>(key, [](QKeychain::ReadPasswordJob&) {},
                                               [](QKeychain::ReadPasswordJob& job, Answer& answer) {
                                                   if (answer.outcome == Outcome::Done)
                                                       answer.password = job.textData();
                                               });
    }

    Answer remove(const QString& key) override
    {
        Answer answer = Run<QKeychain::DeletePasswordJob>(key, [](QKeychain::DeletePasswordJob&) {});
        if (answer.outcome == Outcome::NotFound)
            answer.outcome = Outcome::Done;
        return answer;
    }
};

}  // namespace

std::unique_ptr<PasswordStore> MakeSystemKeyring() { return std::make_unique<SystemKeyring>(); }

}  // namespace quillmar
