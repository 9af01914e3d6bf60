// Whole-process benchmark: runs cardstow and the plain C baseline on three
// generated sessions and prints the median wall time and peak memory of each.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#ifndef CARDSTOW_PATH
#define CARDSTOW_PATH "cardstow"
#endif
#ifndef BASELINE_PATH
#define BASELINE_PATH "cardstow_baseline"
#endif

namespace {

namespace fs = std::filesystem;

constexpr const char* record_name = "sheet.TXT";
constexpr int many_perks = 200000;
constexpr std::size_t long_line_bytes = std::size_t{200} * 1024 * 1024;
// The typical session's target depends on the build measured: loading the
// C++ runtime as a shared library costs about a millisecond at each start.
constexpr double typical_target_shared = 2.0;
constexpr double typical_target_self_contained = 1.30;
constexpr double perks_target = 1.10;
constexpr long rss_target_kib = 6 * 1024;

struct options {
  std::string cardstow = CARDSTOW_PATH;
  std::string baseline = BASELINE_PATH;
  int runs_typical = 21;
  int runs_perks = 7;
  int runs_long = 7;
  bool keep = false;
};

// One generated input and what was measured on it.
struct session {
  std::string key;    // "(a)", "(b)", "(c)"
  std::string title;  // what the session is
  std::string input;  // path of its input file
  int runs = 0;
  bool identical = false;
  std::vector<double> cardstow_seconds;  // wall time of each run
  std::vector<double> baseline_seconds;
  std::vector<double> cardstow_cpu;  // user and system time of each run
  std::vector<double> baseline_cpu;
  long cardstow_peak_kib = 0;
  long baseline_peak_kib = 0;
};

struct run_result {
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_kib = 0;
  bool ok = false;
};

// The temporary directory to remove when the benchmark stops; empty while
// there is none or it is to be kept.
std::string temp_dir_to_remove;

void remove_temp_dir() {
  if (temp_dir_to_remove.empty()) return;
  std::error_code ignored;
  fs::remove_all(temp_dir_to_remove, ignored);
  temp_dir_to_remove.clear();
}

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "cardstow_bench: %s\n", message.c_str());
  remove_temp_dir();
  std::exit(1);
}

void print_usage() {
  std::puts(
      "usage: cardstow_bench [--cardstow PATH] [--baseline PATH] [--runs N]\n"
      "                      [--runs-a N] [--runs-b N] [--runs-c N] [--keep]\n"
      "  --runs N    repeat every session N times (default 21, 7, 7)\n"
      "  --runs-a N  repeats of (a), the typical session\n"
      "  --runs-b N  repeats of (b), the session with 200,000 perks\n"
      "  --runs-c N  repeats of (c), the 200 MiB name line\n"
      "  --keep      keep the temporary directory with inputs and outputs\n"
      "Exits with 1 when a run fails or the two programs' outputs differ;\n"
      "a missed target is reported, not an error.");
}

int parse_runs(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 10000) {
    fail(std::string("not a run count from 1 to 10000: ") + text);
  }
  return static_cast<int>(value);
}

options parse_options(int argc, char** argv) {
  options opts;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--keep") {
      opts.keep = true;
    } else if (arg == "-h" || arg == "--help") {
      print_usage();
      std::exit(0);
    } else if (!has_value) {
      print_usage();
      std::exit(2);
    } else if (arg == "--cardstow") {
      opts.cardstow = argv[++i];
    } else if (arg == "--baseline") {
      opts.baseline = argv[++i];
    } else if (arg == "--runs") {
      opts.runs_typical = opts.runs_perks = opts.runs_long =
          parse_runs(argv[++i]);
    } else if (arg == "--runs-a") {
      opts.runs_typical = parse_runs(argv[++i]);
    } else if (arg == "--runs-b") {
      opts.runs_perks = parse_runs(argv[++i]);
    } else if (arg == "--runs-c") {
      opts.runs_long = parse_runs(argv[++i]);
    } else {
      print_usage();
      std::exit(2);
    }
  }
  return opts;
}

// ---- inputs

void write_or_fail(std::FILE* file, std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    fail("cannot write an input file");
  }
}

// The answers after the character name, up to and including the perk count.
std::string answers_after_name(int perk_count) {
  return "12\n6\n7\n5\n4\n8\n9\n3\n"
         "Fast Shot\nSmall Frame\nGuns\nLockpick\nSpeech\n" +
         std::to_string(perk_count) + "\n";
}

void write_typical_perks(std::FILE* file) {
  write_or_fail(file, "Toughness\nLead Belly\nAwareness\n");
}

void write_many_perks(std::FILE* file) {
  static constexpr std::string_view names[] = {
      "Toughness",   "Lead Belly",   "Awareness",     "Strong Back",
      "Quick Hands", "Night Person", "Swift Learner", "Educated"};
  std::string block;
  for (int i = 0; i < many_perks; ++i) {
    block.append(names[i % 8]).append(" ").append(std::to_string(i + 1));
    block += '\n';
    if (block.size() > 60000) {
      write_or_fail(file, block);
      block.clear();
    }
  }
  write_or_fail(file, block);
}

// A name line of long_line_bytes bytes, written in pieces.
void write_long_name(std::FILE* file) {
  constexpr std::string_view words = "Mara Voss of the Long Road ";
  std::string piece;
  while (piece.size() < 1024 * 1024) piece.append(words);
  for (std::size_t left = long_line_bytes; left > 0;) {
    const std::size_t n = std::min(left, piece.size());
    write_or_fail(file, std::string_view(piece).substr(0, n));
    left -= n;
  }
  write_or_fail(file, "\n");
}

enum class input_kind { typical, perk_list, long_name };

void write_input(const std::string& path, input_kind kind) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) fail("cannot create " + path);
  write_or_fail(file, std::string(record_name) + "\n");
  if (kind == input_kind::long_name) {
    write_long_name(file);
  } else {
    write_or_fail(file, "Mara Voss\n");
  }
  const int perks = kind == input_kind::perk_list ? many_perks : 3;
  write_or_fail(file, answers_after_name(perks));
  if (kind == input_kind::perk_list) {
    write_many_perks(file);
  } else {
    write_typical_perks(file);
  }
  if (std::fclose(file) != 0) fail("cannot write " + path);
}

// ---- running a program

[[noreturn]] void exec_child(const char* binary, const char* dir,
                             const char* input, const char* output) {
  if (chdir(dir) != 0) _exit(126);
  const int in = open(input, O_RDONLY);
  const int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0) _exit(126);
  close(in);
  close(out);
  execl(binary, binary, static_cast<char*>(nullptr));
  _exit(127);
}

double seconds_of(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double seconds_between(const timespec& start, const timespec& end) {
  return static_cast<double>(end.tv_sec - start.tv_sec) +
         static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
}

// Runs `binary` in `dir` with stdin from `input` and stdout to `output`.
run_result run_once(const std::string& binary, const std::string& dir,
                    const std::string& input, const std::string& output) {
  timespec start{};
  timespec end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid < 0) fail("fork failed");
  if (pid == 0) {
    exec_child(binary.c_str(), dir.c_str(), input.c_str(), output.c_str());
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) fail("wait4 failed");
  clock_gettime(CLOCK_MONOTONIC, &end);
  run_result result;
  result.seconds = seconds_between(start, end);
  result.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
  result.peak_kib = usage.ru_maxrss;
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

// ---- checking that both programs did the same

bool same_files(const std::string& a, const std::string& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> x(1 << 16);
  std::vector<char> y(1 << 16);
  while (first && second) {
    first.read(x.data(), static_cast<std::streamsize>(x.size()));
    second.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (first.gcount() != second.gcount()) return false;
    const auto n = static_cast<std::size_t>(first.gcount());
    if (!std::equal(x.begin(), x.begin() + static_cast<long>(n), y.begin())) {
      return false;
    }
  }
  return first.eof() && second.eof();
}

// Runs one program once with its console output kept, and keeps its record
// under a name of its own. Returns false when the run failed.
bool checked_run(const std::string& binary, const std::string& dir,
                 const session& s, const std::string& tag) {
  const std::string out = dir + "/" + tag + ".out";
  if (!run_once(binary, dir, s.input, out).ok) return false;
  std::error_code error;
  fs::rename(dir + "/" + record_name, dir + "/" + tag + ".TXT", error);
  return !error;
}

// Runs both programs once on `s` and compares console output and record.
void check_session(const options& opts, const std::string& dir, session& s) {
  const std::string name = s.key.substr(1, 1);
  const std::string c = "cardstow-" + name;
  const std::string b = "baseline-" + name;
  if (!checked_run(opts.cardstow, dir, s, c)) {
    fail("cardstow failed on " + s.key + " " + s.title);
  }
  if (!checked_run(opts.baseline, dir, s, b)) {
    fail("the baseline failed on " + s.key + " " + s.title);
  }
  s.identical = same_files(dir + "/" + c + ".out", dir + "/" + b + ".out") &&
                same_files(dir + "/" + c + ".TXT", dir + "/" + b + ".TXT");
  std::printf("%s %s: stdout and record file %s\n", s.key.c_str(),
              s.title.c_str(),
              s.identical ? "identical for cardstow and the baseline"
                          : "DIFFER between cardstow and the baseline");
}

// ---- timing

// Times both programs on `s`, alternating them so that load from elsewhere
// falls on both alike.
void time_session(const options& opts, const std::string& dir, session& s) {
  for (int i = 0; i < s.runs; ++i) {
    const run_result c = run_once(opts.cardstow, dir, s.input, "/dev/null");
    const run_result b = run_once(opts.baseline, dir, s.input, "/dev/null");
    if (!c.ok || !b.ok) fail("a timed run failed on " + s.key);
    s.cardstow_seconds.push_back(c.seconds);
    s.baseline_seconds.push_back(b.seconds);
    s.cardstow_cpu.push_back(c.cpu_seconds);
    s.baseline_cpu.push_back(b.cpu_seconds);
    s.cardstow_peak_kib = std::max(s.cardstow_peak_kib, c.peak_kib);
    s.baseline_peak_kib = std::max(s.baseline_peak_kib, b.peak_kib);
  }
  std::printf("%s timed %d runs each\n", s.key.c_str(), s.runs);
  std::fflush(stdout);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  if (values.size() % 2 == 1) return values[mid];
  return (values[mid - 1] + values[mid]) / 2;
}

double ratio(const session& s) {
  return median(s.cardstow_seconds) / median(s.baseline_seconds);
}

// ---- report

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string milliseconds(double seconds) {
  return format("%.2f ms", seconds * 1000);
}

std::string mebibytes(long kib) {
  return format("%.1f MiB", static_cast<double>(kib) / 1024);
}

std::string cpu_model() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) return line.substr(colon + 2);
  }
  return "unknown processor";
}

std::string today() {
  char text[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&now));
  return text;
}

std::string compiler() {
#if defined(__clang__)
  return std::string("clang++ ") + __clang_version__;
#elif defined(__GNUC__)
  return std::string("g++ ") + __VERSION__;
#else
  return "unknown compiler";
#endif
}

// The one-minute load average, a hint of how much else ran meanwhile.
std::string load_average() {
  std::ifstream loadavg("/proc/loadavg");
  std::string first;
  loadavg >> first;
  return first.empty() ? "unknown" : first;
}

// The shared libraries `program` loads, by name, as ldd lists them.
std::vector<std::string> shared_libraries(const std::string& program) {
  std::vector<std::string> names;
  const std::string command = "ldd '" + program + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    const std::string_view text(line);
    const std::size_t start = text.find_first_not_of(" \t");
    if (text.find(" => ") == std::string_view::npos) continue;
    const std::size_t end = text.find(' ', start);
    names.emplace_back(text.substr(start, end - start));
  }
  pclose(pipe);
  return names;
}

// Whether `libraries` holds a C++ runtime: a build on shared libraries.
bool loads_cpp_runtime(const std::vector<std::string>& libraries) {
  return std::any_of(libraries.begin(), libraries.end(), [](auto& name) {
    return name.rfind("libstdc++", 0) == 0 || name.rfind("libc++", 0) == 0;
  });
}

void print_build(const std::vector<std::string>& libraries) {
  std::string names;
  for (const std::string& name : libraries) names += " " + name;
  std::printf("Build: %s; loads%s\n",
              loads_cpp_runtime(libraries)
                  ? "on the system's shared libraries"
                  : "self-contained (C++ runtime linked in)",
              names.empty() ? " nothing" : names.c_str());
}

void print_machine(const std::string& load_before) {
  std::printf("Machine: %u cores, %s, %s, %s\n",
              std::thread::hardware_concurrency(), cpu_model().c_str(),
              compiler().c_str(), today().c_str());
  std::printf("Load average: %s before the timed runs, %s after\n\n",
              load_before.c_str(), load_average().c_str());
}

void print_table(const std::vector<session>& sessions) {
  std::puts(
      "| input | cardstow median | baseline median | ratio | cardstow peak "
      "RSS | baseline peak RSS |");
  std::puts("| --- | ---: | ---: | ---: | ---: | ---: |");
  for (const session& s : sessions) {
    std::printf("| %s %s | %s | %s | %.2f | %s | %s |\n", s.key.c_str(),
                s.title.c_str(),
                milliseconds(median(s.cardstow_seconds)).c_str(),
                milliseconds(median(s.baseline_seconds)).c_str(), ratio(s),
                mebibytes(s.cardstow_peak_kib).c_str(),
                mebibytes(s.baseline_peak_kib).c_str());
  }
}

// Cardstow's time over the baseline's in each alternating pair of runs.
std::vector<double> paired_ratios(const session& s) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < s.cardstow_seconds.size(); ++i) {
    ratios.push_back(s.cardstow_seconds[i] / s.baseline_seconds[i]);
  }
  return ratios;
}

std::string time_range(const std::vector<double>& seconds) {
  const auto [fastest, slowest] =
      std::minmax_element(seconds.begin(), seconds.end());
  return milliseconds(*fastest) + " .. " + milliseconds(*slowest);
}

// How far the runs spread, and the CPU time, which waiting for a core
// shared with other work does not inflate.
void print_noise(const std::vector<session>& sessions) {
  std::puts(
      "\nWall time spread (fastest .. slowest), median ratio of the "
      "alternating pairs,\nand median CPU time (user + system):");
  for (const session& s : sessions) {
    std::printf("  %s %d runs: cardstow %s, baseline %s, paired %.2f\n",
                s.key.c_str(), s.runs, time_range(s.cardstow_seconds).c_str(),
                time_range(s.baseline_seconds).c_str(),
                median(paired_ratios(s)));
    const double c_cpu = median(s.cardstow_cpu);
    const double b_cpu = median(s.baseline_cpu);
    std::printf("      CPU: cardstow %s, baseline %s, ratio %.2f\n",
                milliseconds(c_cpu).c_str(), milliseconds(b_cpu).c_str(),
                b_cpu > 0 ? c_cpu / b_cpu : 0.0);
  }
}

const char* verdict(bool met) { return met ? "met" : "missed"; }

void print_targets(const std::vector<session>& sessions,
                   double typical_target) {
  const session& typical = sessions[0];
  const session& perks = sessions[1];
  long worst_kib = 0;
  for (const session& s : sessions) {
    worst_kib = std::max(worst_kib, s.cardstow_peak_kib);
  }
  std::puts("\nTargets:");
  std::printf("  (b) ratio <= %.2f: %.2f, %s\n", perks_target, ratio(perks),
              verdict(ratio(perks) <= perks_target));
  std::printf("  (a) ratio <= %.2f: %.2f, %s\n", typical_target, ratio(typical),
              verdict(ratio(typical) <= typical_target));
  std::printf("  cardstow peak RSS <= 6 MiB on every input: %s at most, %s\n",
              mebibytes(worst_kib).c_str(),
              verdict(worst_kib <= rss_target_kib));
}

// ---- the whole benchmark

std::string make_temp_dir() {
  std::string pattern = (fs::temp_directory_path() / "cardstow-bench-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a temp directory");
  return pattern;
}

// The program's absolute path, since every run starts in the temp directory.
std::string runnable_path(const std::string& path) {
  if (access(path.c_str(), X_OK) != 0) fail("cannot run " + path);
  return fs::absolute(path).lexically_normal().string();
}

session new_session(std::string key, std::string title, std::string input,
                    int runs) {
  session s;
  s.key = std::move(key);
  s.title = std::move(title);
  s.input = std::move(input);
  s.runs = runs;
  return s;
}

std::vector<session> make_sessions(const options& opts,
                                   const std::string& dir) {
  std::vector<session> sessions;
  sessions.push_back(new_session("(a)", "typical session, 3 perks",
                                 dir + "/typical.in", opts.runs_typical));
  sessions.push_back(
      new_session("(b)", "200,000 perks", dir + "/perks.in", opts.runs_perks));
  sessions.push_back(new_session("(c)", "200 MiB name line",
                                 dir + "/long-name.in", opts.runs_long));
  write_input(sessions[0].input, input_kind::typical);
  write_input(sessions[1].input, input_kind::perk_list);
  write_input(sessions[2].input, input_kind::long_name);
  return sessions;
}

}  // namespace

int main(int argc, char** argv) {
  options opts = parse_options(argc, argv);
  opts.cardstow = runnable_path(opts.cardstow);
  opts.baseline = runnable_path(opts.baseline);
  std::printf("cardstow: %s\nbaseline: %s\n", opts.cardstow.c_str(),
              opts.baseline.c_str());
  const std::string dir = make_temp_dir();
  if (!opts.keep) temp_dir_to_remove = dir;
  std::printf("inputs in %s\n\n", dir.c_str());
  std::fflush(stdout);
  std::vector<session> sessions = make_sessions(opts, dir);
  bool all_identical = true;
  for (session& s : sessions) {
    check_session(opts, dir, s);
    all_identical = all_identical && s.identical;
  }
  const std::string load_before = load_average();
  for (session& s : sessions) time_session(opts, dir, s);
  std::puts("");
  print_machine(load_before);
  const std::vector<std::string> libraries = shared_libraries(opts.cardstow);
  print_build(libraries);
  print_table(sessions);
  print_noise(sessions);
  print_targets(sessions, loads_cpp_runtime(libraries)
                              ? typical_target_shared
                              : typical_target_self_contained);
  remove_temp_dir();
  return all_identical ? 0 : 1;
}
