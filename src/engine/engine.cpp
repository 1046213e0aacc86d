#include "engine/engine.h"

#include <new>

#include "batch/evaluation.h"
#include "batch/keyword_batch.h"
#include "batch/syllable_lattice.h"
#include "batch/syllable_lattice_tables.h"
#include "engine/engine_start_up.h"
#include "lexicon/vocabulary_editor.h"
#include "platform/data_path.h"
#include "search/recognition_pass.h"
#include "search/utterance_workspace.h"

namespace kws {

OrRefusal<std::shared_ptr<const LoadedData>> start_engine(std::string_view data_directory) {
  auto data = std::make_shared<LoadedData>();
  if (std::string refusal = set_data_directory(*data, data_directory); !refusal.empty()) {
    return Refusal::on_console(std::move(refusal) + "\n");
  }
  if (std::optional<Refusal> refusal = engine_start_up(*data)) return std::move(*refusal);
  return std::shared_ptr<const LoadedData>(std::move(data));
}

OrRefusal<std::shared_ptr<const Vocabulary>> choose_vocabulary(const LoadedData& data, std::string_view name) {
  // An editor's save cut short is finished (or undone) before the pair is read.
  recover_vocabulary_save(join_data_path(data.data_directory, "\\data\\" + std::string(name) + ".dat"));
  auto vocabulary = std::make_shared<Vocabulary>();
  if (std::optional<Refusal> refusal = load_vocabulary(data.data_directory, data.main_models, name, *vocabulary)) {
    return std::move(*refusal);
  }
  return std::shared_ptr<const Vocabulary>(std::move(vocabulary));
}

Workspace::Workspace(std::unique_ptr<UtteranceWorkspace> tables) : tables_(std::move(tables)) {}
Workspace::Workspace(Workspace&&) noexcept = default;
Workspace& Workspace::operator=(Workspace&&) noexcept = default;
Workspace::~Workspace() = default;

std::span<const std::int16_t> Workspace::samples() const { return tables_->sample_buffer; }

SyllableLatticeRun& Workspace::lattice_run() {
  if (!lattice_) lattice_ = std::make_unique<SyllableLatticeRun>();
  return *lattice_;
}

OrRefusal<Workspace> make_workspace(const LoadedData& data) {
  std::unique_ptr<UtteranceWorkspace> tables(new (std::nothrow) UtteranceWorkspace);
  if (!tables) return Refusal::on_console("HMM Memory allocation error !\n");
  if (std::string refusal = allocate_analysis_buffers(data.analysis, tables->front_end.vectors); !refusal.empty()) {
    return Refusal::on_console(std::move(refusal));
  }
  return Workspace(std::move(tables));
}

RecognitionOutcome recognize(const LoadedData& data, const Vocabulary& vocabulary,
                             std::span<const std::int16_t> samples, const PassOptions& options, Workspace& workspace) {
  return recognize_utterance(data, vocabulary, samples, options, workspace.tables());
}

SyllableLoopOutcome recognize_syllables(const LoadedData& data, const Vocabulary& vocabulary,
                                        std::span<const std::int16_t> samples, const PassOptions& options,
                                        Workspace& workspace) {
  return recognize_syllable_utterance(data, vocabulary, samples, options, workspace.tables());
}

OrRefusal<LatticeOutcome> run_syllable_lattice(const LoadedData& data, const Vocabulary& vocabulary,
                                               const LatticeFiles& files, Workspace& workspace) {
  return run_syllable_lattice(data, vocabulary, files, workspace.tables(), workspace.lattice_run());
}

OrRefusal<KeywordBatchSummary> run_keyword_batch_test(const LoadedData& data, const Vocabulary& vocabulary,
                                                      int set_number, const PassOptions& options,
                                                      KeywordBatchObserver& observer, Workspace& workspace) {
  return run_keyword_batch_test(data, vocabulary, set_number, options, observer, workspace.tables());
}

}  // namespace kws
