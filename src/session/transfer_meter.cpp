#include "session/transfer_meter.h"

#include "session/listing.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

QString TimeLeftText(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const QString rest = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours == 0)
        return QString::number(minutes) % QLatin1Char(':') % rest;
    return QString::number(hours) % QLatin1Char(':') % QStringLiteral("%1").arg(minutes, 2, 10, QLatin1Char('0'))
           % QLatin1Char(':') % rest;
}

namespace {

qint64 DoneBytes(qint64 bytes, qint64 total)
{
    return std::clamp<qint64>(bytes, 0, std::max<qint64>(total, 0));
}

QString PercentText(qint64 bytes, qint64 total)
{
    const qint64 percent = total > 0 ? qint64(double(DoneBytes(bytes, total)) / double(total) * 100.0) : 0;
    return QString::number(percent) % QStringLiteral(" %");
}

// " · 12.3 MB/s · 0:42 left", or nothing while no speed is known.
QString SpeedAndTimeLeft(qint64 done, qint64 total, double bytesPerSecond)
{
    if (!(bytesPerSecond > 0) || !std::isfinite(bytesPerSecond))
        return {};
    const QString dot = QStringLiteral(" \u00B7 ");
    const double left = std::ceil(double(std::max<qint64>(total, 0) - done) / bytesPerSecond);
    return dot % RowSizeText(QString::number(std::llround(bytesPerSecond))) % QStringLiteral("/s") % dot
           % TimeLeftText(qint64(std::min(left, 1e9))) % QStringLiteral(" left");
}

}  // namespace

QString TransferStatusText(qint64 bytes, qint64 total, double bytesPerSecond)
{
    const qint64 done = DoneBytes(bytes, total);
    return RowSizeText(QString::number(done)) % QStringLiteral(" of ")
           % RowSizeText(QString::number(std::max<qint64>(total, 0))) % SpeedAndTimeLeft(done, total, bytesPerSecond);
}

QString ResumingText(const QString& name, qint64 bytes, qint64 total, int attempt, int attempts)
{
    const QString at = total > 0 ? PercentText(bytes, total) : QString::number(std::max<qint64>(bytes, 0)) % QStringLiteral(" bytes");
    return QStringLiteral("Connection lost; resuming %1 at %2 (try %3 of %4)").arg(name, at).arg(attempt).arg(attempts);
}

void TransferMeter::start(qint64 nowMs)
{
    startMs_ = nowMs;
    startBytes_ = 0;
    lastBytes_ = 0;
}

QString TransferMeter::report(qint64 bytes, qint64 total, qint64 nowMs)
{
    if (startMs_ < 0 || bytes < lastBytes_) {
        startMs_ = nowMs;
        startBytes_ = bytes;
    }
    lastBytes_ = bytes;
    const qint64 elapsed = nowMs - startMs_;
    const double speed = elapsed > 0 ? double(bytes - startBytes_) * 1000.0 / double(elapsed) : 0.0;
    return TransferStatusText(bytes, total, speed);
}

}  // namespace quillmar
