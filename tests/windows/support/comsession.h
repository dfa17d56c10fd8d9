// Base fixture for tests that use COM and Media Foundation on the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

class MediaFoundationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    bool m_comStarted = false;
    bool m_mfStarted = false;
};
