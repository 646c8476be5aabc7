#pragma once
// A fixture for tests that touch the user's folders: HOME and the XDG folders point into the
// test's scratch folder, and FOLVANE_SETTINGS is unset, for the duration of each test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "support/test_support.h"

namespace folvane::test {

class ScratchHomeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = scratchDir();
        setVariable("HOME", (m_dir / "home").string());
        setVariable("XDG_CONFIG_HOME", (m_dir / "config").string());
        setVariable("XDG_DATA_HOME", (m_dir / "data").string());
        setVariable("FOLVANE_SETTINGS", std::nullopt);
    }

    void TearDown() override
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    // Sets (or with nullopt unsets) an environment variable until the test ends.
    void setVariable(const std::string& name, const std::optional<std::string>& value)
    {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }

    const std::filesystem::path& dir() const { return m_dir; }

private:
    std::filesystem::path m_dir;
    std::map<std::string, std::optional<std::string>> m_saved;
};

} // namespace folvane::test
