// Stands in for the Python interpreter in the backend's process tests: a real
// child whose behaviour the test picks through LUMIVANT_TEST_CHILD.
//
//   record       writes its argument vector and environment (NUL-separated) to
//                $LUMIVANT_TEST_CHILD_RECORD.argv / .env, prints one line on
//                each output stream, exits with $LUMIVANT_TEST_CHILD_STATUS
//   command      reads one command from the FIFO $LUMIVANT_TEST_CHILD_FIFO:
//                "exit N" exits with status N, "signal N" dies by signal N
//   ignore-term  ignores SIGTERM and waits for ever
//   serve        answers 200 to every request on 127.0.0.1 at the --port given
//   pause        waits for ever
//   fork-at-term starts three children and waits; on SIGTERM it and each of
//                them start a sleeper in a session of its own with an empty
//                environment, print "test child fresh pid=<pid>" and exit
//
// Every mode first prints "test child <mode> pid=<pid>" to its standard output.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

extern char** environ;

namespace {

void say(int fd, const std::string& line) {
  const std::string text = line + "\n";
  (void)!write(fd, text.data(), text.size());
}

std::string env(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

void writeStrings(const std::string& path, char** strings) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (char** s = strings; *s; ++s) out << *s << '\0';
}

[[noreturn]] void waitForEver() {
  for (;;) pause();
}

int record(char** argv) {
  const std::string base = env("LUMIVANT_TEST_CHILD_RECORD");
  writeStrings(base + ".argv", argv);
  writeStrings(base + ".env", environ);
  say(STDOUT_FILENO, "test child out");
  say(STDERR_FILENO, "test child err");
  return std::atoi(env("LUMIVANT_TEST_CHILD_STATUS", "0").c_str());
}

int command() {
  std::ifstream fifo(env("LUMIVANT_TEST_CHILD_FIFO"));
  std::string verb;
  int number = 0;
  if (!(fifo >> verb >> number)) return 0;
  if (verb == "signal") {
    signal(number, SIG_DFL);
    raise(number);
  }
  return number;
}

int serve(int argc, char** argv) {
  int port = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0) port = std::atoi(argv[i + 1]);
  }
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 16) != 0) {
    say(STDERR_FILENO, std::string("test child cannot listen: ") + std::strerror(errno));
    return 70;
  }
  for (;;) {
    const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    char request[4096];
    (void)!read(connection, request, sizeof request);
    const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    (void)!write(connection, answer, sizeof answer - 1);
    close(connection);
  }
}

volatile sig_atomic_t terminating = 0;

// What a daemon that hands its work on as it is told to stop does: the
// sleeper keeps nothing that ties it to the tree, and its parent is gone a
// moment later.
[[noreturn]] void forkAtTerm() {
  // SIGTERM is blocked but while waiting, so that it cannot slip in between
  // the look at the flag and the wait.
  sigset_t none;
  sigemptyset(&none);
  while (!terminating) sigsuspend(&none);
  const pid_t sleeper = fork();
  if (sleeper == 0) {
    signal(SIGTERM, SIG_DFL);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    setsid();
    char* const argv[] = {const_cast<char*>("sleep"), const_cast<char*>("300"), nullptr};
    char* const noEnvironment[] = {nullptr};
    execve("/bin/sleep", argv, noEnvironment);
    _exit(127);
  }
  say(STDOUT_FILENO, "test child fresh pid=" + std::to_string(sleeper));
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = env("LUMIVANT_TEST_CHILD");
  say(STDOUT_FILENO, "test child " + mode + " pid=" + std::to_string(getpid()));
  if (mode == "record") return record(argv);
  if (mode == "command") return command();
  if (mode == "serve") return serve(argc, argv);
  if (mode == "ignore-term") {
    signal(SIGTERM, SIG_IGN);
    say(STDOUT_FILENO, "test child ignoring SIGTERM");
    waitForEver();
  }
  if (mode == "pause") waitForEver();
  if (mode == "fork-at-term") {
    // Set before the children are started, which keep both.
    signal(SIGTERM, [](int) { terminating = 1; });
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    for (int member = 0; member < 3; ++member) {
      if (fork() == 0) {
        say(STDOUT_FILENO, "test child member pid=" + std::to_string(getpid()));
        forkAtTerm();
      }
    }
    forkAtTerm();
  }
  say(STDERR_FILENO, "test child: unknown mode \"" + mode + "\"");
  return 64;
}
