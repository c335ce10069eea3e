#pragma once
// A fresh application directory and recording catalog hooks for one test.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {

class CatalogFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        CatalogHooks hooks;
        hooks.notify = [this](const std::string& form) {
            std::lock_guard<std::mutex> guard(mutex_);
            forms_.push_back(form);
        };
        hooks.startCatalogMail = [this](const std::string& user) {
            std::lock_guard<std::mutex> guard(mutex_);
            mails_.push_back(user);
        };
        hooks.startPieceCleanup = [this](const std::string& user, const std::string& subject) {
            std::lock_guard<std::mutex> guard(mutex_);
            cleanups_.push_back(user + "|" + subject);
        };
        previous_ = setCatalogHooks(hooks);
    }
    void TearDown() override { setCatalogHooks(previous_); }

    std::vector<std::string> forms() {
        std::lock_guard<std::mutex> guard(mutex_);
        return forms_;
    }
    std::vector<std::string> mails() {
        std::lock_guard<std::mutex> guard(mutex_);
        return mails_;
    }
    std::vector<std::string> cleanups() {
        std::lock_guard<std::mutex> guard(mutex_);
        return cleanups_;
    }
    void clearRecords() {
        std::lock_guard<std::mutex> guard(mutex_);
        forms_.clear();
        mails_.clear();
        cleanups_.clear();
    }
    std::string catalogPath(const std::string& user) const {
        return (home_.path() / (user + "_config")).string();
    }

    AppHome home_;

  private:
    CatalogHooks previous_;
    std::mutex mutex_;
    std::vector<std::string> forms_, mails_, cleanups_;
};

// xmllint --noout on the file: true when it is well-formed XML.
inline bool passesXmllint(const std::string& path) {
    return runShell("xmllint --noout " + shellQuote(path) + " 2>&1") == 0;
}

}  // namespace parvola::test
