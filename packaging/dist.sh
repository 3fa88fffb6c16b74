#!/usr/bin/env bash
# make dist: release builds of zt-rebuild and pack, stripped, packed with
# README.txt (CRLF) into dist/zt-rebuild-VERSION-windows-x64.zip (needs the
# mingw-w64 toolchain and zip, not Wine) and
# dist/zt-rebuild-VERSION-linux-x64.tar.gz. The same sources give the same
# bytes: fixed timestamps (SOURCE_DATE_EPOCH, else the last commit's time),
# fixed order, no owner names.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

for tool in x86_64-w64-mingw32-g++ zip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "make dist needs $tool: apt-get install g++-mingw-w64-x86-64 zip" >&2
    exit 1
  fi
done

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null || echo 315532800)
fi

# Release builds carry no debug information; -s strips the symbols too.
# libstdc++ goes in statically, so that the Linux programs need only glibc.
build() { # FOLDER CMAKE_ARGUMENTS...
  local folder=$1
  shift
  cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@" >/dev/null
  cmake --build "$folder" -j "$jobs" --target zt-rebuild pack >/dev/null
}
echo "== release builds: build-dist-linux, build-dist-windows"
build build-dist-linux "-DCMAKE_EXE_LINKER_FLAGS=-s -static-libstdc++ -static-libgcc"
build build-dist-windows --toolchain cmake/mingw-w64.cmake \
  "-DCMAKE_EXE_LINKER_FLAGS=-s -Wl,--no-insert-timestamp"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-dist-linux/CMakeCache.txt)
arch=$(uname -m)
[ "$arch" = x86_64 ] && arch=x64

stage=dist/stage
rm -rf "$stage"
mkdir -p "$stage"
# One folder per package, named as the package.
stage_package() { # NAME BUILD EXE_SUFFIX
  local folder="$stage/$1"
  mkdir -p "$folder"
  sed "s/@VERSION@/$version/; s/\$/\r/" packaging/README.txt >"$folder/README.txt"
  cp "$2/zt-rebuild$3" "$2/pack$3" "$folder/"
  chmod 755 "$folder" "$folder/zt-rebuild$3" "$folder/pack$3"
  chmod 644 "$folder/README.txt"
  touch -h -d "@$SOURCE_DATE_EPOCH" "$folder" "$folder"/*
}

linux=zt-rebuild-$version-linux-$arch
windows=zt-rebuild-$version-windows-x64
stage_package "$linux" build-dist-linux ""
stage_package "$windows" build-dist-windows .exe

rm -f "dist/$linux.tar.gz" "dist/$windows.zip"
tar -C "$stage" --format=gnu --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$SOURCE_DATE_EPOCH" -cf - "$linux" | gzip -n -9 >"dist/$linux.tar.gz"
# zip keeps local times: in UTC they are the same everywhere. -X leaves out
# owners and extra timestamps, -D folder entries.
(cd "$stage" && TZ=UTC zip -q -X -D -9 "../$windows.zip" \
  "$windows/zt-rebuild.exe" "$windows/pack.exe" "$windows/README.txt")
rm -rf "$stage"
(cd dist && sha256sum "$linux.tar.gz" "$windows.zip")
