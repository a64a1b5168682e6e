#include "render_test_support.h"

// GDI+ runs for the whole executable: every test draws.
static ::testing::Environment* const kRuntime = ::testing::AddGlobalTestEnvironment(new render_test::RuntimeEnvironment);
