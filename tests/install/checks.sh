# Shared by the stages that test what is handed out (scripts/test.d/install.sh,
# scripts/test.d/package.sh and scripts/test.d/windows.sh): sourced, not run,
# after scripts/lib/stage.bash (root, pass and fail, the programs' names).

# The project's version, from its CMakeLists.txt.
project_version() {
  sed -n 's/^project(grainscores VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt"
}

# The example files that every installation carries: the source's examples/
# folder, by the patterns that the install rules take.
example_files() {
  (cd "$root/examples" && ls -1 -- *.orc *.inc *.speakers *.answers *.csd 2>/dev/null | sort)
}

# expect_layout WHAT PREFIX PROGRAM...: the installed tree under PREFIX holds
# the programs in bin/, every example file, the README and the notes in docs/
# that it links to.
expect_layout() {
  local what="$1" prefix="$2" missing=() f
  shift 2
  for f in "$@"; do [ -x "$prefix/bin/$f" ] || missing+=("bin/$f"); done
  while read -r f; do
    cmp -s "$root/examples/$f" "$prefix/share/grainscores/examples/$f" || missing+=("share/grainscores/examples/$f")
  done < <(example_files)
  cmp -s "$root/README.md" "$prefix/share/doc/grainscores/README.md" || missing+=("share/doc/grainscores/README.md")
  for f in "$root"/docs/*; do
    cmp -s "$f" "$prefix/share/doc/grainscores/docs/${f##*/}" || missing+=("share/doc/grainscores/docs/${f##*/}")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    pass "$what: the programs in bin/, $(example_files | wc -l) example files, the README and docs/"
  else
    fail "$what: missing or different: ${missing[*]}"
  fi
}

# A flock for the bundled answers (their minimum grain duration is 0.05 s
# and they ask for at most 20 voices): flockpaths' arguments, and the flock
# written by the given flockpaths.
flock_arguments=(--voices 20 --interval 0.05 --duration 12 --seed 7)
write_flock() {
  "$1" "${flock_arguments[@]}" --out "$2" >/dev/null
}

# expect_same WHAT EXPECTED GOT: the two files are equal byte for byte.
expect_same() {
  if cmp -s "$2" "$3"; then
    pass "$1"
  else
    fail "$1: $(cmp "$2" "$3" 2>&1 | head -1)"
  fi
}
