# Sourced by scripts/debian-libraries.sh: how each of the four libraries is
# built for a target, as build_zlib, build_libpng, build_libsdl2 and
# build_libopenmpt (each SRC PREFIX, run in the background with the output
# going to a log).
#
# The caller describes its target before calling libraries_build:
#   DEPS_CC, DEPS_AR                  its C compiler and archiver
#   CFLAGS_DEPS                       what every library is compiled with
#   target_cmake SRC BUILD OPTION...  configures a CMake project for it
#   target_configure OPTION...        runs ./configure for it, in the source
#   target_make ARG...                runs make for it
# and whatever of these its libraries need beyond that (empty unless set):
#   ZLIB_CFLAGS, LIBPNG_OPTIONS (CMake options, an array), LIBSDL2_OPTIONS
#   (the same), LIBOPENMPT_CXXFLAGS, LIBOPENMPT_FORMAT (the one module format
#   whose loader libopenmpt keeps; empty keeps them all).

ZLIB_CFLAGS=
LIBPNG_OPTIONS=()
LIBSDL2_OPTIONS=()
LIBOPENMPT_CXXFLAGS=
LIBOPENMPT_FORMAT=

# Refuses to start the libraries' builds for a target described in part.
target_check() {
  local name
  for name in DEPS_CC DEPS_AR CFLAGS_DEPS; do
    [ -n "${!name:-}" ] || { echo "$TOOL: the target sets no $name" >&2; exit 1; }
  done
  for name in target_cmake target_configure target_make; do
    declare -F "$name" >/dev/null || { echo "$TOOL: the target defines no $name" >&2; exit 1; }
  done
}

build_zlib() {  # SRC PREFIX
  # Debian's zlib source carries no makefile for a cross target: the library
  # is its fifteen C files.
  local obj=() f
  for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
    inflate inftrees trees uncompr zutil; do
    $DEPS_CC $CFLAGS_DEPS $ZLIB_CFLAGS -c "$1/$f.c" -o "$1/$f.o"
    obj+=("$1/$f.o")
  done
  mkdir -p "$2/include" "$2/lib/pkgconfig"
  $DEPS_AR rcs "$2/lib/libz.a" "${obj[@]}"
  cp "$1/zlib.h" "$1/zconf.h" "$2/include/"
  printf '%s\n' "prefix=$2" 'libdir=${prefix}/lib' 'includedir=${prefix}/include' \
    "Name: zlib" "Description: zlib compression library" "Version: ${VER[zlib]}" \
    'Libs: -L${libdir} -lz' 'Cflags: -I${includedir}' >"$2/lib/pkgconfig/zlib.pc"
}

build_libpng() {  # SRC PREFIX
  local zlib=$deps/zlib
  target_cmake "$1" "$1/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$2" -DCMAKE_C_FLAGS="$CFLAGS_DEPS" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
    -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON \
    "${LIBPNG_OPTIONS[@]}" -DZLIB_INCLUDE_DIR="$zlib/include" -DZLIB_LIBRARY="$zlib/lib/libz.a"
  cmake --build "$1/build" -j"$jobs"
  cmake --install "$1/build"
  # Static linking needs zlib named as libpng's dependency.
  local pc
  for pc in "$2"/lib/pkgconfig/libpng*.pc; do
    grep -q '^Requires.private:' "$pc" || echo 'Requires.private: zlib' >>"$pc"
  done
  [ -e "$2/lib/pkgconfig/libpng.pc" ] || cp "$2/lib/pkgconfig/libpng16.pc" "$2/lib/pkgconfig/libpng.pc"
}

build_libsdl2() {  # SRC PREFIX
  # Video, events, timers, audio and (where the target has them) message
  # boxes are all the show uses.
  target_cmake "$1" "$1/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$2" -DCMAKE_C_FLAGS="$CFLAGS_DEPS" \
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF \
    -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_RENDER=OFF "${LIBSDL2_OPTIONS[@]}"
  cmake --build "$1/build" -j"$jobs"
  cmake --install "$1/build"
}

build_libopenmpt() {  # SRC PREFIX
  # A target that plays one format keeps only that loader in the table, so
  # the link drops the others.
  local table=$1/soundlib/Sndfile.cpp
  if [ -n "$LIBOPENMPT_FORMAT" ]; then
    sed -i -E "/^\\s*MPT_DECLARE_FORMAT\\(/{/MPT_DECLARE_FORMAT\\($LIBOPENMPT_FORMAT\\)/!d}" "$table"
    [ "$(grep -cE '^\s*MPT_DECLARE_FORMAT\(' "$table")" = 1 ] ||
      { echo "$TOOL: libopenmpt's loader table is not as expected" >&2; return 1; }
  fi
  # The tune is an XM module with plain samples: no archive, MP3 or Vorbis
  # support, no player program.
  (cd "$1" && target_configure --prefix="$2" \
    CFLAGS="$CFLAGS_DEPS" CXXFLAGS="$CFLAGS_DEPS${LIBOPENMPT_CXXFLAGS:+ $LIBOPENMPT_CXXFLAGS}" \
    --disable-shared --enable-static --disable-openmpt123 --disable-examples --disable-tests \
    --disable-doxygen-doc --without-zlib --without-mpg123 --without-ogg --without-vorbis \
    --without-vorbisfile --without-portaudio --without-portaudiocpp --without-pulseaudio \
    --without-sndfile --without-flac && target_make -j"$jobs" install)
}
