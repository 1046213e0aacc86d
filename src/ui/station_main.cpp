// kws-station: the keyword-spotting station's window.
#include <unistd.h>

#include <QApplication>
#include <QFontDatabase>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/message_sink.h"
#include "ui/main_dialog.h"
#include "ui/qt_message_sink.h"
#include "ui/station_icon.h"
#include "ui/vocabulary_editor_dialog.h"

namespace {

constexpr const char* kHelp =
    "Usage: kws-station [--data DIR] [--audio-in SPEC] [--audio-out SPEC] [--maintenance]\n"
    "                   [--vocab NAME] [--listen] [--quit-after N] [--screenshot FILE]\n"
    "The Mandarin keyword-spotting station. Its data directory is the working\n"
    "directory; --data DIR changes into DIR first. Choose a vocabulary, keep quiet for\n"
    "the noise calibration (調適), press 關鍵詞彙辨識 and speak.\n"
    "\n"
    "  --audio-in SPEC    the microphone: portaudio:default, portaudio:N, portaudio:NAME\n"
    "                     (see kws devices), file:PATH (a recording at real time),\n"
    "                     file-fast:PATH, null; default $KWS_AUDIO_IN or portaudio:default\n"
    "  --audio-out SPEC   where playback goes (portaudio:..., file:PATH.wav, null)\n"
    "  --maintenance      show the batch test buttons and the statistics list\n"
    "  --vocab NAME       choose the vocabulary NAME at start\n"
    "  --listen           start live keyword recognition at once\n"
    "  --quit-after N     close the window after N recognised utterances\n"
    "  --screenshot FILE  save a picture of the window after each recognised utterance\n";

int usage(const char* message) {
  std::fprintf(stderr, "kws-station: %s\n\n%s", message, kHelp);
  return 2;
}

// The dialog's Chinese texts need a CJK font.
void use_cjk_font(QApplication& application) {
  for (const char* family : {"Noto Sans CJK TC", "Noto Sans CJK SC", "Noto Sans CJK JP"}) {
    if (QFontDatabase::hasFamily(family)) {
      QFont font(family);
      font.setPointSize(9);
      application.setFont(font);
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  kws::StationOptions options;
  std::string data_directory;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (argument == "--help" || argument == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    std::string number;
    if (argument == "--maintenance") {
      options.maintenance = true;
    } else if (argument == "--listen") {
      options.listen = true;
    } else if (argument == "--data") {
      if (!value(data_directory)) return usage("--data needs a DIR");
    } else if (argument == "--audio-in") {
      if (!value(options.audio_in)) return usage("--audio-in needs a SPEC");
    } else if (argument == "--audio-out") {
      if (!value(options.audio_out)) return usage("--audio-out needs a SPEC");
    } else if (argument == "--vocab") {
      if (!value(options.vocabulary)) return usage("--vocab needs a NAME");
    } else if (argument == "--screenshot") {
      if (!value(options.screenshot)) return usage("--screenshot needs a FILE");
    } else if (argument == "--quit-after") {
      if (!value(number) || (options.quit_after = std::atoi(number.c_str())) < 1) {
        return usage("--quit-after needs a number of utterances");
      }
    } else {
      return usage(("unknown option " + argument).c_str());
    }
  }
  if (!data_directory.empty() && chdir(data_directory.c_str()) != 0) {
    std::fprintf(stderr, "kws-station: cannot change into %s: %s\n", data_directory.c_str(), std::strerror(errno));
    return 1;
  }

  QApplication application(argc, argv);
  QApplication::setOrganizationName("kws-station");
  QApplication::setApplicationName("kws-station");
  QApplication::setWindowIcon(kws::station_icon());
  use_cjk_font(application);
  static kws::QtMessageSink sink;
  kws::install_message_sink(&sink);

  options.open_editor = [](const kws::LoadedData& data, QWidget* parent) {
    kws::VocabularyEditorDialog editor(data, parent);
    editor.exec();
  };
  kws::MainDialog dialog(options);
  sink.set_owner(&dialog);
  if (dialog.failed()) return 1;
  dialog.exec();
  return 0;
}
