#!/usr/bin/env bash
# Cross-compiles x264 and a minimal FFmpeg as static libraries for one target,
# from Debian's source packages, into a cache outside the build tree.
#
#   deps/build-deps.sh win32|win64      prints the install prefix on stdout
#
# The prefix is keyed on the package versions, this script and the compiler,
# so a second build, or a fresh clone on the same machine, reuses it, and a
# changed configuration builds anew. QUANDRIL_DEPS_CACHE moves the cache.
set -euo pipefail

target=${1:?usage: build-deps.sh win32|win64}
case "$target" in
  win32) host=i686-w64-mingw32;   ffarch=x86;    ;;
  win64) host=x86_64-w64-mingw32; ffarch=x86_64; ;;
  *) echo "build-deps: unknown target '$target'" >&2; exit 2 ;;
esac

cache=${QUANDRIL_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quandril-deps}
jobs=$(nproc)
here=$(cd "$(dirname "$0")" && pwd)

log() { echo "build-deps[$target]: $*" >&2; }

# --- sources -----------------------------------------------------------------
src=$cache/src
fetch_source() {
  local pkg=$1
  local dir
  dir=$(find "$src" -maxdepth 1 -type d -name "$pkg-[0-9]*" 2>/dev/null | head -n1)
  if [ -z "$dir" ]; then
    log "fetching the $pkg source package"
    mkdir -p "$src"
    (cd "$src" && apt-get source -qq "$pkg" >/dev/null 2>&1) || {
      log "apt-get source $pkg failed (is there a deb-src entry? run deps/install-packages.sh)"; exit 1; }
    dir=$(find "$src" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -n1)
  fi
  echo "$dir"
}
# Concurrent callers: one fetch of the sources at a time, one build per target.
mkdir -p "$cache"
exec 8>"$cache/.lock-src"
flock 8
ffsrc=$(fetch_source ffmpeg)
x264src=$(fetch_source x264)
flock -u 8
exec 9>"$cache/.lock-$target"
flock 9

# --- configuration -----------------------------------------------------------
x264_flags=(
  --host=$host --cross-prefix=$host- --enable-static --disable-cli
  --disable-opencl --disable-lavf --disable-swscale --disable-ffms
  --disable-gpac --disable-lsmash --disable-bashcompletion --enable-pic
)

ff_components=(
  --enable-demuxer=flv
  --enable-decoder=flv,vp6,vp6a,vp6f,h264,mp3,mp3float,aac,aac_fixed,nellymoser,adpcm_swf,pcm_s16le,pcm_s16be,pcm_u8,pcm_s8,pcm_alaw,pcm_mulaw,speex
  --enable-parser=h264,aac,mpegaudio,vp6
  --enable-encoder=libx264,aac
  --enable-muxer=mp4,mov
  --enable-protocol=file,pipe
  --enable-bsf=h264_mp4toannexb,aac_adtstoasc,extract_extradata
  --enable-filter=scale,fps,aresample,aformat,format,setdar,setsar,null,anull,buffer,buffersink,abuffer,abuffersink,trim,atrim,setpts,asetpts,nullsink,anullsink,copy,acopy
)
ff_flags=(
  --arch=$ffarch --target-os=mingw32 --cross-prefix=$host- --enable-cross-compile
  --cc=$host-gcc-posix --cxx=$host-g++-posix
  --pkg-config=pkg-config --pkg-config-flags=--static
  --enable-static --disable-shared --enable-gpl --enable-version3
  --disable-autodetect --enable-w32threads
  --disable-everything --disable-doc --disable-network --disable-debug
  --disable-ffplay --disable-ffprobe --enable-ffmpeg
  --enable-avcodec --enable-avformat --enable-avfilter --enable-swscale --enable-swresample
  --disable-avdevice --disable-postproc
  --enable-libx264
  "${ff_components[@]}"
)

ffver=$(basename "$ffsrc")
x264ver=$(basename "$x264src")
ccver=$($host-gcc-posix --version | head -n1)
# Bump when the build steps below change in a way the flags do not show.
recipe=1
key=$(printf '%s\n' "$recipe" "$ffver" "$x264ver" "$ccver" "${x264_flags[@]}" "${ff_flags[@]}" |
      sha256sum | cut -c1-16)
prefix=$cache/$target-$key

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

log "building into $prefix ($ffver, $x264ver)"
work=$cache/work-$target-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"

# x264 (its configure runs in the tree, so each target builds a copy).
cp -a "$x264src" "$work/x264"
(
  cd "$work/x264"
  CC=$host-gcc-posix ./configure --prefix="$prefix" "${x264_flags[@]}" >"$work/x264-configure.log" 2>&1
  make -j"$jobs" >"$work/x264-make.log" 2>&1
  make install-lib-static >>"$work/x264-make.log" 2>&1
) || { log "x264 failed; see $work/x264-*.log"; exit 1; }

# FFmpeg, out of tree from a private copy (a configured source tree refuses
# out-of-tree builds).
cp -a "$ffsrc" "$work/ffmpeg-src"
mkdir -p "$work/ffmpeg-build"
(
  cd "$work/ffmpeg-build"
  PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH= \
    "$work/ffmpeg-src/configure" --prefix="$prefix" "${ff_flags[@]}" \
      --extra-cflags="-I$prefix/include" --extra-ldflags="-L$prefix/lib -static" \
      >"$work/ffmpeg-configure.log" 2>&1
  make -j"$jobs" >"$work/ffmpeg-make.log" 2>&1
  make install >>"$work/ffmpeg-make.log" 2>&1
) || { log "FFmpeg failed; see $work/ffmpeg-*.log"; exit 1; }

# The stock ffmpeg.exe stays beside the libraries for the converter benchmark.
touch "$prefix/.complete"
rm -rf "$work"
log "done"
echo "$prefix"
