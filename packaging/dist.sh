#!/usr/bin/env bash
# make dist: release builds of zt-rebuild and pack, stripped, packed with
# the user's README into dist/zt-rebuild-VERSION-windows-x64.zip (README.txt,
# CRLF, no folder inside; needs the mingw-w64 toolchain with its zlib, and
# zip, not Wine) and dist/zt-rebuild-VERSION-linux-x64.tar.gz (README, in a
# folder of that name). Every program is checked to load only what a clean
# system has (packaging/check-imports.sh). The same sources give the same
# bytes: fixed timestamps (SOURCE_DATE_EPOCH, else the last commit's time,
# else the newest source file's), fixed order, no owner names.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

for tool in x86_64-w64-mingw32-g++ x86_64-w64-mingw32-objdump zip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "make dist needs $tool: apt-get install g++-mingw-w64-x86-64 libz-mingw-w64-dev zip" >&2
    exit 1
  fi
done

# One line says which time the files get, and why.
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  origin="SOURCE_DATE_EPOCH"
elif SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null) &&
    [ -n "$SOURCE_DATE_EPOCH" ]; then
  origin="the last commit's"
else
  # No git checkout: an unpacked source archive keeps its files' times.
  SOURCE_DATE_EPOCH=$(find CMakeLists.txt Makefile cmake packaging src tools -type f \
                        -printf '%T@\n' | sort -n | tail -1 | cut -d. -f1)
  origin="no git checkout: the newest source file's; set SOURCE_DATE_EPOCH to choose"
fi
echo "== file times: $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S') UTC ($origin)"

# Release builds carry no debug information; -s strips the symbols too.
# libstdc++ and zlib go in statically, so that the Linux programs need only
# glibc (the Windows build always takes zlib statically).
build() { # FOLDER CMAKE_ARGUMENTS...
  local folder=$1
  shift
  cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@" >/dev/null
  cmake --build "$folder" -j "$jobs" --target zt-rebuild pack >/dev/null
}
echo "== release builds: build-dist-linux, build-dist-windows"
build build-dist-linux -DZT_STATIC_ZLIB=ON \
  "-DCMAKE_EXE_LINKER_FLAGS=-s -static-libstdc++ -static-libgcc"
build build-dist-windows --toolchain cmake/mingw-w64.cmake \
  "-DCMAKE_EXE_LINKER_FLAGS=-s -Wl,--no-insert-timestamp"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-dist-linux/CMakeCache.txt)
arch=$(uname -m)
[ "$arch" = x86_64 ] && arch=x64

stage=dist/stage
rm -rf "$stage"
mkdir -p "$stage"
# One folder per package, named as the package, with the README the build
# made for its platform.
stage_package() { # NAME BUILD README EXE_SUFFIX
  local folder="$stage/$1"
  mkdir -p "$folder"
  cp "$2/$3" "$folder/$3"
  cp "$2/zt-rebuild$4" "$2/pack$4" "$folder/"
  chmod 755 "$folder" "$folder/zt-rebuild$4" "$folder/pack$4"
  chmod 644 "$folder/$3"
  touch -h -d "@$SOURCE_DATE_EPOCH" "$folder" "$folder"/*
  bash packaging/check-imports.sh "$folder/zt-rebuild$4" "$folder/pack$4"
}

linux=zt-rebuild-$version-linux-$arch
windows=zt-rebuild-$version-windows-x64
stage_package "$linux" build-dist-linux README ""
stage_package "$windows" build-dist-windows README.txt .exe

rm -f "dist/$linux.tar.gz" "dist/$windows.zip"
tar -C "$stage" --format=gnu --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$SOURCE_DATE_EPOCH" -cf - "$linux" | gzip -n -9 >"dist/$linux.tar.gz"
# The zip holds the files with no folder around them: Explorer's Extract All
# makes a folder named after the zip already, which would otherwise hold
# another of the same name. Every staged file, in a fixed order: the imports
# checked above are those of every .exe in the zip. zip keeps local times: in
# UTC they are the same everywhere. -X leaves out owners and extra
# timestamps, -D folder entries.
(cd "$stage/$windows" && find . -type f -printf '%P\n' | LC_ALL=C sort |
   TZ=UTC zip -q -X -D -9 "../../$windows.zip" -@)
rm -rf "$stage"
(cd dist && sha256sum "$linux.tar.gz" "$windows.zip")
