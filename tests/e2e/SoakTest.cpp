// A minute of the soak in the ordinary test run (scripts/soak runs it for longer).
#include "E2eHarness.h"
#include "SoakRun.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(SoakE2e, DisplaysRecoverAfterFaultsAndMemoryStaysFlat)
{
    ASSERT_TRUE(e2e::MissingTools().isEmpty()) << "not installed (scripts/setup-deps installs them): "
                                                << e2e::MissingTools().join(QLatin1Char(' ')).toStdString();
    e2e::SoakOptions options;
    options.minutes = 0.75;
    options.faultSeconds = 12;
    options.seed = 20261208;
    options.verbose = true;
    const e2e::SoakReport report = e2e::RunSoak(options);
    std::printf("[ figures  ] %s\n", qPrintable(report.Text()));
    ASSERT_TRUE(report.started);
    EXPECT_TRUE(report.failures.isEmpty()) << report.Text().toStdString();
    EXPECT_GE(report.quietChecks, 3);
}
