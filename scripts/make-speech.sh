#!/usr/bin/env bash
# Records sentences of real (synthesised) speech with espeak-ng, one 48 kHz mono WAV file per
# sentence, for the matching-quality benchmark and the tests that play speech. Two voices at
# different rates and pitches; the same files on every run.
#   scripts/make-speech.sh DIR
set -euo pipefail
dir=${1:?usage: make-speech.sh DIR}
for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "make-speech: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
mkdir -p "$dir"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
n=0
while IFS='|' read -r voice speed pitch text; do
  n=$((n + 1))
  name=$(printf '%s/sentence-%02d.wav' "$dir" "$n")
  espeak-ng -v "$voice" -s "$speed" -p "$pitch" -w "$tmp/raw.wav" "$text"
  sox -q "$tmp/raw.wav" -r 48000 -b 32 -e floating-point "$tmp/out.wav"
  mv "$tmp/out.wav" "$name"
done <<'TEXT'
en-us|165|45|Welcome back to the programme. Tonight we look at how rivers shape the land around them.
en-gb|150|60|The water carries stone and sand for hundreds of miles before it reaches the sea.
en-us|175|40|Every spring, the melting snow raises the level by several metres in just a few days.
en-gb|140|55|Farmers along the banks have learned to live with the floods.
en-us|160|50|Some of them plant late, and some move their animals to higher ground.
en-gb|170|65|In the next part, we will hear from an engineer who builds bridges across the valley.
en-us|150|35|She says that every bridge is a conversation with the river.
en-gb|160|50|Stay with us after the break.
TEXT
echo "make-speech: $n sentences in $dir"
