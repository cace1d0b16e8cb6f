# Sourced by scripts/build-windows and scripts/build-web: what the two cross
# builds share. Fetches Debian's source packages of the libraries the Linux
# build links (SDL2, zlib, libpng, libopenmpt) and builds each once, by the
# recipes in scripts/library-recipes.sh, into a cache keyed by the source
# versions, the compiler and the caller's recipe number.
#
# apt is given a private sources list, lists and cache through its options,
# so the machine's apt configuration and state stay as they were.
#
# The caller sets TOOL (its name for messages), reads its command line with
# build_arguments, describes its target as scripts/library-recipes.sh asks,
# then calls libraries_build KIND COMPILER-ID RECIPE, which sets deps to the
# folder holding zlib/, libpng/, libsdl2/ and libopenmpt/; for its own
# build, host_generators and cross_folder.

step() { echo "== $*" >&2; }

. "$(dirname "${BASH_SOURCE[0]}")/library-recipes.sh"

# The builds' one command line: --jobs N (default: every core), -h/--help,
# and the caller's own switches, each setting the variable of its name
# (--libraries-only sets libraries_only=1). Sets jobs; exits on --help or a
# refusal.
build_arguments() {  # SWITCH... -- ARG...
  local switches=() s known
  while [ "$1" != -- ]; do switches+=("$1"); shift; done
  shift
  local usage="usage: $TOOL [--jobs N]"
  local v
  for s in "${switches[@]}"; do
    usage+=" [$s]"
    v=${s#--}
    printf -v "${v//-/_}" 0
  done
  jobs=$(nproc)
  while [ $# -gt 0 ]; do
    case "$1" in
      --jobs)
        [ $# -ge 2 ] || { echo "$TOOL: --jobs needs a number" >&2; exit 2; }
        [[ "$2" =~ ^[1-9][0-9]{0,2}$ ]] || { echo "$TOOL: --jobs '$2' is not a number from 1 to 999" >&2; exit 2; }
        jobs=$2; shift 2 ;;
      -h|--help) echo "$usage"; exit 0 ;;
      *)
        known=0
        for s in "${switches[@]}"; do
          if [ "$1" = "$s" ]; then v=${s#--}; printf -v "${v//-/_}" 1; known=1; fi
        done
        [ $known = 1 ] || { echo "$TOOL: unknown argument '$1'" >&2; echo "$usage" >&2; exit 2; }
        shift ;;
    esac
  done
}

cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvi-tonaro
sources=$cache/sources
apt_state=$cache/apt

# Only the main suites: the security suite's source files are not served, so
# versions are pinned from these.
apt_private() {  # apt-get|apt-cache ARGS...
  local cmd=$1; shift
  "$cmd" -o Dir::Etc::SourceList="$apt_state/sources.list" -o Dir::Etc::SourceParts=- \
    -o Dir::State::Lists="$apt_state/lists" -o Dir::Cache="$apt_state/cache" \
    -o APT::Sandbox::User=root "$@"
}

# Refreshes the private source index at most once a day.
private_sources_update() {
  local codename list
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  list="deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $codename main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $codename-updates main"
  mkdir -p "$apt_state/lists/partial" "$apt_state/cache/archives/partial"
  if [ "$(cat "$apt_state/sources.list" 2>/dev/null)" = "$list" ] &&
    [ -n "$(find "$apt_state/lists" -maxdepth 1 -name '*Sources*' -mmin -1440 2>/dev/null)" ]; then
    return
  fi
  step "fetching Debian's $codename source index into $apt_state"
  printf '%s\n' "$list" >"$apt_state/sources.list"
  apt_private apt-get update -qq >"$apt_state/update.log" 2>&1 ||
    { cat "$apt_state/update.log" >&2; echo "$TOOL: apt could not fetch the source index" >&2; exit 1; }
}

# Picks the installed version when its source is offered, otherwise the newest
# offered revision of the same upstream version (a security fix whose source
# only the main suite's point release carries).
pick_version() {  # SOURCE-PACKAGE INSTALLED-VERSION
  local offered upstream v
  offered=$(apt_private apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u -r -V)
  if grep -qxF "$2" <<<"$offered"; then echo "$2"; return; fi
  upstream=${2%-*}
  while read -r v; do
    [ "${v%-*}" = "$upstream" ] && { echo "$v"; return; }
  done <<<"$offered"
  echo "$TOOL: no source of $1 $upstream is offered by apt (offered: $(echo $offered))" >&2
  exit 1
}

# Unpacks the Debian source of $1 into $2, fetching it once into the cache.
unpack_source() {  # SOURCE-PACKAGE DIR
  local dsc=$sources/${1}_${VER[$1]#*:}.dsc
  if [ ! -f "$dsc" ]; then
    (cd "$sources" && apt_private apt-get source -qq --download-only "$1=${VER[$1]}") >"$2.fetch.log" 2>&1 ||
      { cat "$2.fetch.log" >&2; return 1; }
  fi
  # apt has checked the files against the signed index; dpkg-source's own
  # signature check would need the Debian keyring, so its remark is dropped.
  dpkg-source -x -q "$dsc" "$2" >"$2.unpack.log" 2>&1 || { cat "$2.unpack.log" >&2; return 1; }
}

# Builds one library into $deps/NAME, once: its output goes to a temporary
# folder that is renamed when complete, so an interrupted build leaves
# nothing under the final name. The compiler's output goes to a log that is
# shown when the build fails.
build_library() {  # SOURCE-PACKAGE NAME
  local final=$deps/$2 work start=$SECONDS
  [ -f "$final/.complete" ] && return 0
  work=$(mktemp -d "$cache/.building-$2.XXXXXX")
  step "$2 ${VER[$1]}: building (log in $work/build.log)"
  if unpack_source "$1" "$work/src" && "build_$2" "$work/src" "$work/prefix" >"$work/build.log" 2>&1; then
    find "$work/prefix/lib/pkgconfig" -name '*.pc' -exec sed -i "s|$work/prefix|$final|g" {} +
    touch "$work/prefix/.complete"
    rm -rf "$final"
    mv "$work/prefix" "$final"
    rm -rf "$work"
    step "$2: built in $((SECONDS - start)) s"
  else
    tail -n 40 "$work/build.log" >&2
    rm -rf "$work"
    echo "$TOOL: building $2 failed" >&2
    return 1
  fi
}

# Sets VER and deps, and builds whatever of the four libraries is not cached.
libraries_build() {  # KIND COMPILER-ID RECIPE
  local src key start=$SECONDS pids=() pid failed=0
  target_check
  mkdir -p "$cache" "$sources"
  private_sources_update
  declare -gA VER
  declare -A dev=([libsdl2]=libsdl2-dev [zlib]=zlib1g-dev [libpng1.6]=libpng-dev [libopenmpt]=libopenmpt-dev)
  for src in libsdl2 zlib libpng1.6 libopenmpt; do
    VER[$src]=$(pick_version "$src" "$(dpkg-query -W -f='${source:Version}' "${dev[$src]}")")
  done
  key="r$3-$2-sdl2_${VER[libsdl2]}-zlib_${VER[zlib]}-png_${VER[libpng1.6]}-openmpt_${VER[libopenmpt]}"
  deps=$cache/$1-${key//[^A-Za-z0-9._+-]/_}
  mkdir -p "$deps"
  if [ -f "$deps/zlib/.complete" ] && [ -f "$deps/libpng/.complete" ] &&
    [ -f "$deps/libsdl2/.complete" ] && [ -f "$deps/libopenmpt/.complete" ]; then
    step "libraries for $1: cached ($deps)"
    return
  fi
  step "building the libraries for $1 into $deps (once per source version)"
  # Independent of each other but for libpng on zlib: built side by side.
  build_library libsdl2 libsdl2 & pids+=($!)
  build_library libopenmpt libopenmpt & pids+=($!)
  (build_library zlib zlib && build_library libpng1.6 libpng) & pids+=($!)
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
  [ $failed = 0 ] || exit 1
  step "libraries built in $((SECONDS - start)) s"
}

# Builds the asset generators natively into DIR: the cross build runs them
# from DIR/generators.
host_generators() {  # DIR
  step "asset generators (native)"
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$1" -j"$jobs" --target mesh_generator xm_composer >/dev/null
}

# Points pkg-config at the libraries in $deps alone, and empties a
# cross-build folder first configured against other library builds (another
# recipe or version): CMake keeps what pkg-config found then.
cross_folder() {  # DIR
  export PKG_CONFIG_LIBDIR=$deps/zlib/lib/pkgconfig:$deps/libpng/lib/pkgconfig:$deps/libsdl2/lib/pkgconfig:$deps/libopenmpt/lib/pkgconfig
  export PKG_CONFIG_PATH=
  if [ "$(cat "$1/.libraries" 2>/dev/null)" != "$deps" ]; then
    rm -rf "$1"
    mkdir -p "$1"
    echo "$deps" >"$1/.libraries"
  fi
}
