# The three score programs as the scripts know them, in one place: sourced,
# not run. The names, scores and orchestras are those of the programs' score
# formats (conventions/score_format.hpp); a test holds the two together. Per program, by its name: the folder of the build tree that holds
# it, the score it writes in the current folder, the example orchestra that
# plays that score (in examples/) and the bundled answers to its dialogue.
score_programs=(glissonscore granulescore additivescore)
declare -gA program_folder=([glissonscore]=glisson [granulescore]=granule [additivescore]=additive)
declare -gA score_file=([glissonscore]=VELAROOKglisson.sco [granulescore]=VELAROOKgranule.sco
                        [additivescore]=VELAROOKadditive.sco)
declare -gA orchestra_file=([glissonscore]=VelaRookglisson.orc [granulescore]=VelaRookgranule.orc
                            [additivescore]=VelaRookadditive.orc)
declare -gA answers_file=([glissonscore]=examples/glissonscore.answers [granulescore]=examples/granulescore.answers
                          [additivescore]=examples/additivescore.answers)

# answer_lines FILE: an answers file (examples/*.answers) as it would be typed
# or piped into a program: one answer a line, comments and blank lines left
# out. (The program itself reads the file with --answers.)
answer_lines() { sed -e '/^[[:space:]]*#/d' -e 's/[[:space:]]*#.*$//' -e '/^[[:space:]]*$/d' "$1"; }

# program_path PROGRAM: its place in a build folder (glisson/glissonscore).
program_path() { echo "${program_folder[$1]}/$1"; }

# sound_stem PROGRAM: the name of its renderings, the orchestra's without .orc
# (VelaRookglisson.wav, VelaRookglisson-ambix3.wav).
sound_stem() { echo "${orchestra_file[$1]%.orc}"; }

# program_of_score FILE: the program whose score has FILE's name; status 1,
# printing nothing, when none has.
program_of_score() {
  local program
  for program in "${score_programs[@]}"; do
    [ "$(basename "$1")" != "${score_file[$program]}" ] || { echo "$program"; return 0; }
  done
  return 1
}
