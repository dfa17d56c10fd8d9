#include "comsession.h"

#include <mfapi.h>

void MediaFoundationTest::SetUp() {
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    m_comStarted = true;
    ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    m_mfStarted = true;
}

void MediaFoundationTest::TearDown() {
    if (m_mfStarted) MFShutdown();
    if (m_comStarted) CoUninitialize();
}
