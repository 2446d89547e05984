// path_settings_guard.h - a fixture that gives each test a session of its
// own: clean path settings and the load-time option word, with the exports
// that set them as members (support/own_session.h).
#pragma once

#include <gtest/gtest.h>

#include "support/own_session.h"

namespace qmtest {

class PathSettingsTest : public ::testing::Test, public OwnSession {};

}  // namespace qmtest
