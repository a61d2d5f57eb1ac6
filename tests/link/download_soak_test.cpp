// Many downloads in one process against the simulated instrument with its
// faults mixed in at random (fixed seed): each ends with the right message
// or image, the port is closed after every run, and neither descriptors nor
// memory grow once the first runs have warmed the process up.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <QDir>
#include <QRandomGenerator>
#include <QStringList>

#include "link/download.h"
#include "simulator/sim_images.h"
#include "support/link_ports.h"
#include "support/link_pty.h"

#if defined(__SANITIZE_ADDRESS__)
#define KLT3_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KLT3_ASAN 1
#endif
#endif

namespace {

using namespace download_text;

struct Outcome : DownloadObserver {
  QString failure;
  bool finished = false;
  bool ok = false;
  void StatusChanged(const QString&) override {}
  void ProgressChanged(int) override {}
  void IdentityChanged(const QString&, const QString&, const QString&) override {}
  void Failed(const QString&, const QString& text, const QString&) override { failure = text; }
  void Finished(bool done) override {
    finished = true;
    ok = done;
  }
};

int OpenDescriptors() { return int(QDir(QStringLiteral("/proc/self/fd")).count()) - 2; }

long ResidentKb() {
  malloc_trim(0);
  long size = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

enum class Fault { kNone, kZ, kIdentChecksum, kMemoryChecksum, kWrongKind, kZeroSize, kSilent };

TEST(DownloadSoak, ThreeHundredDownloadsWithFaultsLeakNothing) {
  constexpr int kRuns = 300;
  constexpr int kWarmUp = 10;
  PointPortsAt(QString(), QString());
  QRandomGenerator random(20240917);
  Outcome outcome;
  Download download(outcome);
  int fdsAfterWarmUp = 0;
  long kbAfterWarmUp = 0;
  int seen[7] = {};
  for (int run = 1; run <= kRuns; ++run) {
    // A silent instrument costs two answer timeouts: seldom.
    const Fault fault = random.bounded(50) == 0 ? Fault::kSilent : Fault(random.bounded(6));
    ++seen[int(fault)];
    const bool plate = random.bounded(2) == 0;
    const int records = 1 + int(random.bounded(40));
    sim::InstrumentConfig config =
        plate ? sim::PlateInstrument(sim::GeneratePlateRecords(records))
              : sim::WaterInstrument(sim::GenerateWaterRecords(records));
    QString expected;
    switch (fault) {
      case Fault::kNone: break;
      case Fault::kZ: config.sendZ = true; break;
      case Fault::kIdentChecksum: config.badIdentChecksum = true; expected = kTransmissionError; break;
      case Fault::kMemoryChecksum: config.badMemoryChecksum = true; expected = kTransmissionError; break;
      case Fault::kWrongKind: sim::MakeWrongKind(&config); expected = kWrongDevice; break;
      case Fault::kZeroSize: config.zeroSize = true; expected = kNoData; break;
      case Fault::kSilent: config.silent = true; expected = kNotFound; break;
    }
    SCOPED_TRACE("run " + std::to_string(run) + ", fault " + std::to_string(int(fault)));
    {
      SimulatedPort port(config);
      ASSERT_TRUE(port.Ok());
      outcome = Outcome();
      download.SetFixedPort(port.Path());
      download.Start();
      ASSERT_TRUE(WaitUntil([&] { return outcome.finished; }, 20000));
      EXPECT_FALSE(download.LinkOpen()) << "the port stays open after the run";
      EXPECT_EQ(outcome.ok, expected.isEmpty());
      EXPECT_EQ(outcome.failure, expected);
      if (expected.isEmpty()) {
        const QByteArray image(reinterpret_cast<const char*>(download.Result().image.data()),
                               int(config.image.size()));
        EXPECT_EQ(image, config.image);
      }
    }
    if (run == kWarmUp) {
      fdsAfterWarmUp = OpenDescriptors();
      kbAfterWarmUp = ResidentKb();
    }
  }
  for (int kind = 0; kind < 7; ++kind) EXPECT_GT(seen[kind], 0) << "fault " << kind << " never drawn";
  // One descriptor more would be a leak of one per 290 runs at least.
  EXPECT_EQ(OpenDescriptors(), fdsAfterWarmUp);
  const long grownKb = ResidentKb() - kbAfterWarmUp;
  RecordProperty("resident_kb_grown", int(grownKb));
#ifndef KLT3_ASAN
  // A few kB a run would add up to more than this over 290 runs. (Under
  // the address sanitizer freed memory is held back on purpose; its leak
  // check at the end does this job there.)
  EXPECT_LT(grownKb, 512) << "resident memory grew";
#endif
}

}  // namespace
