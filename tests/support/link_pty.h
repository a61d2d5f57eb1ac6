#pragma once
// A simulated instrument on a pseudo-terminal pair, for tests that run the
// program's download against it in-process. Link the test with klt3_sim.
#include <memory>

#include "simulator/sim_instrument.h"
#include "simulator/sim_pty.h"

struct SimulatedPort {
  explicit SimulatedPort(sim::InstrumentConfig config) {
    if (!pty.Open()) return;
    instrument = std::make_unique<sim::Instrument>(pty.MasterFd(), std::move(config));
    // The instrument's side of the line closes: the program's side hangs up.
    QObject::connect(instrument.get(), &sim::Instrument::lineClosed, instrument.get(),
                     [this] { pty.Close(); }, Qt::QueuedConnection);
  }
  bool Ok() const { return instrument != nullptr; }
  QString Path() const { return pty.SlavePath(); }

  sim::PtyPair pty;
  std::unique_ptr<sim::Instrument> instrument;
};
