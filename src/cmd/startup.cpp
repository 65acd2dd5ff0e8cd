// Start-up: options, banner, configuration report, signals and the main loop.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/alloc.h"
#include "base/cmdinput.h"
#include "cmd/commands.h"
#include "cmd/dispatch.h"
#include "cmd/latsbridge.h"
#include "cmd/startup.h"
#include "base/message.h"
#include "base/safefile.h"
#include "base/session.h"
#include "expr/udf.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "sdf/sdf.h"

namespace {

const char* const banner = "\nVemra Version " VEMRA_VERSION
                           "\n"
                           "Analysis and display of gridded and station data\n"
                           "\n";

bool little_endian() {
  const unsigned int one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

extern "C" void kasig(int) {
  // A second Ctrl-C ends the session at once, with status 0, leaving no
  // staged output behind.
  if (gcmn->interrupt) {
    remove_staged_files();
    _exit(0);
  }
  gcmn->interrupt = 1;
}

extern "C" void kasigcpu(int) {
  remove_staged_files();
  _exit(1);
}

// SIGPIPE that the system sends for a write of this process to a pipe or
// socket whose reader has gone (one sent by another process ends the
// session). When that is standard output or standard error the session ends
// as by the other signals; any other output's write just fails (EPIPE) and
// that output reports it.
extern "C" void kasigpipe(int sig, siginfo_t* info, void*) {
  const int saved = errno;
  bool ends = info->si_pid != ::getpid();
  pollfd streams[2] = {{STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}};
  if (!ends && ::poll(streams, 2, 0) > 0)
    ends = ((streams[0].revents | streams[1].revents) & (POLLERR | POLLHUP)) != 0;
  if (ends) end_by_signal(sig);
  errno = saved;
}

void catch_signal(int sig, void (*handler)(int)) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(sig, &sa, nullptr);
}

// What must not be lost when the process ends: the hardcopy file's end
// record and the buffered fwrite output.
void close_outputs() {
  kalats_close_all();
  close_fwrite(gcmn);
  std::fflush(stdout);
}

}  // namespace

void command_line_help() {
  std::fputs(
      "\nVemra Version " VEMRA_VERSION
      "\n"
      "Command line options: \n\n"
      "          -help   Just this help\n"
      "          -c      run this command (e.g., a script)\n"
      "          -l      start in landscape mode\n"
      "          -p      start in portrait mode\n"
      "          -b      run Vemra in batch mode (no graphics window)\n"
      "          -g LLLLxHHHH+(-)XXXX+(-)YYYY  set size of graphics window (like X windows)\n"
      "                  LLLL = length in pixels (x side)\n"
      "                  HHHH = height in pixels (y side)\n"
      "                  XXXX and YYYY = starting pixel in x and y, 0,0 is the upper "
      "left-hand corner; each preceded by + or -\n"
      "          -E      turn OFF command line editing\n"
      "          -W      use X server wide lines (faster) vice s/w (better)\n"
      "\n   Example:\n\n"
      "   vemra -lc \"run myscript.gs\" -g 640x480-0+100\n\n"
      "   starts in landscape mode, runs myscript.gs, with a 640x480 window\n"
      "   0 pixels from the right and 100 pixels down from the top of the screen\n\n",
      stdout);
}

void kacfg(msg_level level) {
  std::string line = "Config: v" VEMRA_VERSION;
  line += (sizeof(void*) == 8) ? " 64-bit" : " 32-bit";
  line += little_endian() ? " little-endian" : " big-endian";
  line += " readline sdf/xdf netcdf lats printim\n\n";
  kaprnt(level, line);
  if (level == msg_level::error) {
    std::fputs("Issue 'q config' command for more information.\n\n", stdout);
    return;
  }
  kaprnt(level, banner);
  kaprnt(level, "Built with the C++20 compiler, GNU readline, netCDF, udunits and gd.\n\n");
  kaprnt(level, "Configuration:\n");
  std::string machine = "   o This is a ";
  machine += (sizeof(void*) == 8) ? "64-bit " : "32-bit ";
  machine += little_endian() ? "LITTLE ENDIAN" : "BIG ENDIAN";
  machine += " machine version.\n";
  kaprnt(level, machine);
  kaprnt(level, "   o Command line editing (readline) ENABLED.\n");
  kaprnt(level,
         "   o SDF/XDF interface for netCDF files (sdfopen, xdfopen) ENABLED;\n"
         "     HDF-SDS files are not read.\n");
  kaprnt(level, "   o Remote data interface DISABLED.\n");
  kaprnt(level, "   o LATS interface ENABLED: writes GRIB and netCDF files.\n");
  kaprnt(level, "   o Widget GUI interface DISABLED.\n");
  kaprnt(level, "   o External image output interface DISABLED.\n");
  kaprnt(level,
         "   o printim command for direct png/gif output ENABLED.\n"
         "     (images are written through the gd library)\n");
}

int vemra_main(int argc, char** argv) {
  bool landscape = false, portrait = false, batch = false, wide = false, no_edit = false,
       exit_after = false;
  bool want_command = false, geometry = false;
  const char* command = nullptr;

  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (want_command) {
      command = a;
      want_command = false;
      continue;
    }
    if (std::strncmp(a, "-help", 5) == 0) {
      command_line_help();
      return 0;
    }
    if (geometry) {
      gxdgeo(a);
      continue;
    }
    if (a[0] == '-' && a[1] == 'g') {
      geometry = true;
      continue;
    }
    if (a[0] == '-') {
      for (const char* c = a + 1; *c; ++c) {
        switch (*c) {
          case 'b': batch = true; break;
          case 'l': landscape = true; break;
          case 'p': portrait = true; break;
          case 'c': want_command = true; break;
          case 'W': wide = true; break;
          case 'E': no_edit = true; break;
          case 'x': exit_after = true; break;
          default: {
            std::string msg = "Unknown command line option: ";
            msg += *c;
            msg += "\n";
            std::fputs(msg.c_str(), stdout);
          }
        }
      }
      continue;
    }
    std::fputs(("Unknown command line keyword: " + std::string(a) + "\n").c_str(), stdout);
  }
  if (want_command) std::fputs("-c option was specified, but no command was provided\n", stdout);

  kakeep_freed_blocks();

  // Standard input is shared by the line editor, the plain reader and
  // scripts: nothing may read it ahead through stdio.
  std::setvbuf(stdin, nullptr, _IONBF, 0);

  std::fputs(banner, stdout);
  kacfg(msg_level::error);

  if (!landscape && !portrait) {
    std::string answer;
    nxtcmd(answer, "Landscape mode? (no for portrait): ");
    if (!answer.empty() && answer[0] == 'n') portrait = true;
  }
  session_state* pcm = gcmn;
  pcm->batch = batch ? 1 : 0;
  if (portrait) {
    pcm->page_width = 8.5f;
    pcm->page_height = 11;
  } else {
    pcm->page_width = 11;
    pcm->page_height = 8.5f;
  }
  if (wide) gxwdln();
  sdf_install(kacmd);
  kaplot_lats(kalats_plot);
  kainit();
  pcm->file_list = nullptr;
  pcm->default_file = nullptr;
  pcm->file_count = 0;
  pcm->default_file_number = 0;
  pcm->defined_list = nullptr;
  pcm->file_serial = 10;
  pcm->display_grey = 0;
  pcm->display_white = 0;
  pcm->fwrite_file.reset();
  pcm->fwrite_name.clear();
  pcm->fwrite_byte_order = 1;
  pcm->fwrite_sequential = 0;
  kafdef(gxgnam("udft"));
  kagx(pcm);
  catch_signal(SIGXCPU, kasigcpu);
  // Signals that end the process first remove the output files not yet
  // complete; until the main loop a Ctrl-C ends it the same way.
  catch_ending_signals();
  // A broken pipe ends the session only when it is a standard stream's.
  struct sigaction broken;
  if (sigaction(SIGPIPE, nullptr, &broken) == 0 && broken.sa_handler != SIG_IGN) {
    broken.sa_sigaction = kasigpipe;
    broken.sa_flags |= SA_SIGINFO;
    sigaction(SIGPIPE, &broken, nullptr);
  }
  // A file-size limit makes a write fail (and be reported) instead of
  // ending the session.
  std::signal(SIGXFSZ, SIG_IGN);

  int rc = 0;
  if (command) rc = kacmd(command, pcm, false);
  catch_signal(SIGINT, kasig);

  std::string line;
  while (rc > -1) {
    if (exit_after) {
      // The closing lines of the session start their own line.
      kaendline();
      gxhend();
      close_outputs();
      return 99;
    }
    kaendline();
    // What the commands freed goes back while the session waits for its
    // user; lines that already wait (a piped or redirected job) keep the
    // freed blocks for the steps that follow.
    if (!input_ready()) kagive_back_freed();
    int n = no_edit ? nxtcmd(line, "ka>") : nxrdln(line, "ka-> ");
    if (n < 0) {
      line = "quit";
      std::fputs("[EOF]\n", stdout);
    }
    // An interrupt that cut the line short stays pending over the refused
    // line: a second one then ends the session, as at the prompt.
    if (!input_interrupted()) pcm->interrupt = 0;
    rc = kacmd(line, pcm, false);
  }
  kaendline();
  gxend();
  close_outputs();
  std::exit(0);
}
