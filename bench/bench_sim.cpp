// The simulator's own CPU per command, without any transport: the request frame's
// bytes go into the frame assembler, the device model executes the command, and the
// answer frame is built, as the simulator's server loop does for each frame.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/frame_codec.h"
#include "sim/device_model.h"
#include "sim/link.h"

using namespace kestrel;
using namespace kestrel::sim;

namespace {

struct TypicalCommand {
  const char* what;
  uint16_t cmd;
  std::string data;
};

// Commands the window and the CLI send most; none of them lets the device's data grow.
const std::vector<TypicalCommand> kCommands = {
    {"status", 74, ""},
    {"identification", 90, "#\t"},
    {"parameter read", 255, "Header\t1\t\t"},
    {"parameter write", 255, "Footer\t2\tVisit us again\t"},
    {"date read", 62, ""},
    {"item read", 107, "R\t1\t"},
    {"item write", 107, "P\t1\t1\t0\t1\t0\t3.30\t\t0\t\t\t\t\tMilk 1l\t"},
    {"client read", 140, "R\t1\t"},
    {"receipt state", 76, ""},
};

class Device {
 public:
  Device() {
    std::string answer;
    fModel.execute(83, "17.00\t0.00\t100.00\t100.00\t100.00\t", answer);
    fModel.execute(107, "P\t1\t1\t0\t1\t0\t3.30\t\t0\t3870000000001\t\t\t\tMilk 1l\t", answer);
    fModel.execute(140, "P\t1\tTrgovina d.o.o.\t4200000000001\t\tKralja Tvrtka 12\tMostar\t", answer);
  }
  // One request frame in, one answer frame out.
  size_t serve(const std::string& request) {
    fAssembler.feed(reinterpret_cast<const uint8_t*>(request.data()), request.size());
    RequestFrame frame;
    if (fAssembler.next(frame) != FrameAssembler::Result::Frame) return 0;
    fModel.execute(frame.cmd, frame.data, fData);
    uint8_t status[8];
    fModel.statusBytes(status);
    completeStatusBytes(status);
    buildAnswerFrame(LinkProtocol::Type2, frame.seq, frame.cmd, fData, status, fOut);
    return fOut.size();
  }
  int lastCode() const { return fModel.lastCode(); }

 private:
  DeviceModel fModel;
  FrameAssembler fAssembler;
  std::string fData, fOut;
};

std::vector<std::string> requestFrames() {
  std::vector<std::string> frames;
  uint8_t seq = frame::SEQ_FIRST;
  for (const auto& c : kCommands) {
    std::string f;
    buildRequestFrame(LinkProtocol::Type2, seq, c.cmd, c.data, f);
    seq = frame::nextSequence(seq, true);
    frames.push_back(std::move(f));
  }
  return frames;
}

void BM_SimCommand(benchmark::State& state) {
  const auto index = static_cast<size_t>(state.range(0));
  const std::string request = requestFrames()[index];
  Device d;
  if (d.serve(request) == 0 || d.lastCode() != 0) {
    state.SkipWithError("the command does not succeed");
    return;
  }
  state.SetLabel(kCommands[index].what);
  for (auto _ : state) benchmark::DoNotOptimize(d.serve(request));
}
BENCHMARK(BM_SimCommand)->DenseRange(0, static_cast<int>(kCommands.size()) - 1);

// All typical commands in turn: the figure scripts/bench.sh reports.
void BM_SimTypicalMix(benchmark::State& state) {
  const auto frames = requestFrames();
  Device d;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.serve(frames[i]));
    if (++i == frames.size()) i = 0;
  }
}
BENCHMARK(BM_SimTypicalMix);

}  // namespace

BENCHMARK_MAIN();
