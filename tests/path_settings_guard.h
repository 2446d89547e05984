// path_settings_guard.h - a fixture that gives each test clean path settings
// and the load-time option word, and puts the previous ones back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "state/options.h"
#include "state/path_settings.h"

namespace qmtest {

class PathSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memcpy(saved_.output, qm::OutputPath, sizeof saved_.output);
        std::memcpy(saved_.input, qm::InputPath, sizeof saved_.input);
        std::memcpy(saved_.relative, qm::RelativePath, sizeof saved_.relative);
        savedOptions_ = qm::arOptions;
        savedRefused_ = qm::OutputPathRefused;
        std::memset(qm::OutputPath, 0, sizeof qm::OutputPath);
        std::memset(qm::InputPath, 0, sizeof qm::InputPath);
        std::memset(qm::RelativePath, 0, sizeof qm::RelativePath);
        qm::OutputPathRefused = false;
        qm::arOptions = QM_OPTIONS_AT_LOAD;
    }
    void TearDown() override
    {
        Restore();
        qm::arOptions = savedOptions_;
        qm::OutputPathRefused = savedRefused_;
    }

private:
    struct Settings {
        char output[qm::kOutputPathSize];
        char input[qm::kInputPathSize];
        char relative[qm::kRelativePathSize];
    };
    void Restore() const
    {
        std::memcpy(qm::OutputPath, saved_.output, sizeof saved_.output);
        std::memcpy(qm::InputPath, saved_.input, sizeof saved_.input);
        std::memcpy(qm::RelativePath, saved_.relative, sizeof saved_.relative);
    }
    Settings saved_{};
    std::uint16_t savedOptions_ = 0;
    bool savedRefused_ = false;
};

}  // namespace qmtest
