# The training settings the bundled models are built with, shared by
# scripts/build-models and scripts/evaluate-speakers so that a speaker left
# out is measured on models made exactly like the shipped ones. Sourced.

# Components, iterations and the variety the copies add.
model_training_options=(--mixtures 8 --iterations 5 --split-iterations 12 --augment all)

# The synthesised corpus list $2 (its voices, speeds and noise are variety
# enough) and the real speakers' corpus lists in kws-recipes' output folder $1,
# each recording of those with a perturbed copy, as kws-train arguments. The
# synthetic speech counts once: three times raised the bundled recordings (all
# synthetic) from 0.86 to 0.92 detection but lowered a real speaker never heard
# from 0.18 to 0.10. Lists whose speaker is named in $3 (a comma-separated
# subset of aishell, audio-cmn-words, audio-cmn-syllables, dsp-words, gcin) are
# left out; lists that are missing (the real speech beyond S0150 is optional in
# a miniature run) are skipped with a note.
model_training_lists() {
  local recipes=$1 synthetic=$2 without=,${3:-},
  local arguments=(--weight 1 --copies 0 "$synthetic")
  add() {  # name weight list
    [[ $without == *,$1,* ]] && return
    if [[ -s $3 ]]; then
      arguments+=(--weight "$2" --copies 1 "$3")
    else
      echo "model-settings: $3 is missing; trained without it" >&2
    fi
  }
  add aishell 3 "$recipes/aishell-train.txt"
  add audio-cmn-words 1 "$recipes/audio-cmn-train.txt"
  add audio-cmn-syllables 1 "$recipes/audio-cmn-syllables-train.txt"
  add dsp-words 1 "$recipes/dsp-words-train.txt"
  add gcin 1 "$recipes/gcin-train.txt"
  printf '%s\n' "${arguments[@]}"
}

# kws-recipes' options for every corpus at hand under the shared folder $1;
# the real speakers' folders are optional.
model_recipe_sources() {
  local shared=$1
  local arguments=(--chewing "$shared/chewing" --aishell "$shared/aishell-S0150")
  [[ -d $shared/audio-cmn ]] && arguments+=(--words "$shared/audio-cmn" --syllables "$shared/audio-cmn")
  [[ -d $shared/dsp-words ]] && arguments+=(--words "$shared/dsp-words")
  [[ -d /usr/share/gcin/ogg ]] && arguments+=(--gcin /usr/share/gcin/ogg)
  printf '%s\n' "${arguments[@]}"
}
