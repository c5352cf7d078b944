// Packing 20,000 small files from the dialog against `vrk compress` on the
// same tree. The dialog pays for its log box on top of the work: appending
// each line, keeping the end in view and repainting while the command runs.
// That may cost at most 30% over the command line; the summary line at the
// end gives the ratio of the medians.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM names another one
// (for instance xcb under Xvfb, to include the X server's share).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include <QApplication>
#include <QTest>

#include "cli/vrk_cli.h"
#include "platform/platform.h"
#include "ui/qt/log_box.h"
#include "ui/resource_names.h"
#include "ui/qt/tool_dialog.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 100;
constexpr int kFileSize = 100;

struct Tree {
  std::string root;     // scratch folder, removed at exit
  std::string folder;   // the folder that is packed
  std::string archive;  // where each run writes its archive
};

const Tree& TheTree() {
  static const Tree tree = [] {
    std::string pattern = (fs::temp_directory_path() / "vrk-ui-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    Tree t{fs::canonical(pattern).string(), "", ""};
    t.folder = t.root + "/mod";
    t.archive = t.root + "/mod.vrk";
    const std::string content(kFileSize, 'x');
    for (int f = 0; f < kFolders; ++f) {
      const std::string folder = t.folder + "/folder" + std::to_string(f);
      fs::create_directories(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) std::ofstream(folder + "/file" + std::to_string(i) + ".dat") << content;
    }
    return t;
  }();
  return tree;
}

// Answers the Compress command's two dialogs with the benchmark's tree.
class Answers : public WindowServices {
 public:
  bool GetOpenFileName(const FileDialogRequest&, std::string&) override { return false; }
  bool GetSaveFileName(const FileDialogRequest&, std::string& chosenPath) override {
    chosenPath = TheTree().archive;
    return true;
  }
  int BrowseForFolder(std::string& folder, const char*, const char*, const char*) override {
    folder = TheTree().folder;
    return 1;
  }
};

void BM_CompressCommandLine(benchmark::State& state) {
  const Tree& tree = TheTree();
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    if (RunVrk({"compress", tree.folder, tree.archive}, out, err) != kExitSuccess) {
      state.SkipWithError("vrk compress failed");
      break;
    }
  }
}

void BM_CompressFromDialog(benchmark::State& state) {
  const Tree& tree = TheTree();
  Answers answers;
  for (auto _ : state) {
    state.PauseTiming();
    auto dialog = std::make_unique<CToolDialog>();
    dialog->SetWindowServices(&answers);
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get())) state.SkipWithError("the dialog did not show");
    QCoreApplication::processEvents();
    state.ResumeTiming();

    dialog->OnCompress();

    state.PauseTiming();
    const QString log = dialog->findChild<LogBox*>(RESOURCE_NAME(IDC_LOG))->Text();
    if (!log.endsWith("All done!\n")) state.SkipWithError("the dialog's Compress failed");
    dialog.reset();
    platform::Sys().ChangeDirectory(tree.root);
    state.ResumeTiming();
  }
}

BENCHMARK(BM_CompressCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);
BENCHMARK(BM_CompressFromDialog)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);

// Keeps the median of each benchmark for the summary.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::error_code ignored;
  fs::remove_all(TheTree().root, ignored);

  const double cli = reporter.medians["BM_CompressCommandLine"];
  const double dialog = reporter.medians["BM_CompressFromDialog"];
  if (cli > 0 && dialog > 0) {
    const double ratio = dialog / cli;
    std::printf("\n%d files: dialog %.0f ms, command line %.0f ms, ratio %.2f (limit 1.30): %s\n",
                kFolders * kFilesPerFolder, dialog, cli, ratio, ratio <= 1.30 ? "within" : "OVER");
  }
  benchmark::Shutdown();
  return 0;
}
