# Sourced by the benchmark scripts (from the source root).
#
# compare_build REV TARGET...: builds TARGETs of commit REV as a Release tree
# in build/bench-compare (its sources in a git worktree beside it, made anew
# when REV changes) and prints the build folder, so that a benchmark can time
# that commit's programs beside this tree's in the same run.
compare_build() {
  local rev=$1 tree=build/bench-compare/src out=build/bench-compare/build
  shift
  local commit
  commit=$(git rev-parse --verify "$rev^{commit}")
  if [[ $(git -C "$tree" rev-parse HEAD 2> /dev/null) != "$commit" ]]; then
    rm -rf build/bench-compare
    git worktree prune
    git worktree add --detach "$tree" "$commit" > /dev/null 2>&1
  fi
  echo "== build $rev (Release, $out)" >&2
  cmake -S "$tree" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANET_BUILD_TESTS=OFF > /dev/null
  cmake --build "$out" --target "$@" | tail -n 1 >&2
  echo "$out"
}
