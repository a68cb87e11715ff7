#include "session/server_place.h"
#include "session/transfer_meter.h"

#include "support/qt_printers.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <limits>

namespace quillmar {
namespace {

TEST(TransferStatusText, SizesSpeedAndTimeLeft)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    struct Case { qint64 bytes, total; double speed; const char* text; };
    const Case cases[] = {
        {420, 1000, 0, "420 bytes of 1 KB"},
        {420, 1000, -3, "420 bytes of 1 KB"},
        {420, 1000, std::numeric_limits<double>::infinity(), "420 bytes of 1 KB"},
        {42000000, 100000000, 12300000, "42 MB of 100 MB \u00B7 12.3 MB/s \u00B7 0:05 left"},
        {1114112, 20000000, 268000, "1.11 MB of 20 MB \u00B7 268 KB/s \u00B7 1:11 left"},
        {999, 1000, 1, "999 bytes of 1 KB \u00B7 1 bytes/s \u00B7 0:01 left"},
        {1000, 1000, 500, "1 KB of 1 KB \u00B7 500 bytes/s \u00B7 0:00 left"},
        {5000, 1000, 500, "1 KB of 1 KB \u00B7 500 bytes/s \u00B7 0:00 left"},
        {0, 3723000, 1000, "0 bytes of 3.72 MB \u00B7 1 KB/s \u00B7 1:02:03 left"},
        {0, 0, 1000, "0 bytes of 0 bytes \u00B7 1 KB/s \u00B7 0:00 left"},
        {1500000000, 3000000000, 1234567, "1500 MB of 3000 MB \u00B7 1.23 MB/s \u00B7 20:16 left"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TransferStatusText(c.bytes, c.total, c.speed), QString::fromUtf8(c.text));
    }
    const std::pair<qint64, const char*> times[] = {
        {-5, "0:00"}, {59, "0:59"}, {60, "1:00"}, {3599, "59:59"}, {3600, "1:00:00"}, {360000, "100:00:00"}};
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(TimeLeftText(seconds), QLatin1String(text)) << seconds;
    QLocale::setDefault(saved);
}

TEST(TransferMeter, AverageSpeedSinceTheStart)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    TransferMeter meter;
    // Without a start the first report is the baseline.
    EXPECT_EQ(meter.report(500000, 1000000, 100), QStringLiteral("500 KB of 1 MB"));
    EXPECT_EQ(meter.report(750000, 1000000, 600), QStringLiteral("750 KB of 1 MB \u00B7 500 KB/s \u00B7 0:01 left"));
    // Fewer bytes than before: another transfer.
    EXPECT_EQ(meter.report(1000, 4000, 700), QStringLiteral("1 KB of 4 KB"));
    meter.start(1000);
    EXPECT_EQ(meter.report(1000, 4000, 3000), QStringLiteral("1 KB of 4 KB \u00B7 500 bytes/s \u00B7 0:06 left"));
    meter.reset();
    EXPECT_EQ(meter.report(2000, 4000, 9000), QStringLiteral("2 KB of 4 KB"));
    QLocale::setDefault(saved);
}

}  // namespace
}  // namespace quillmar
