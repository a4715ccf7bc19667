#!/usr/bin/env bash
# Proves a Windows toolchain cache (scripts/windows-toolchain.sh): cross-builds, with
# cmake/mingw-w64.cmake, a GoogleTest program that writes and reads a zip with libzip and QtCore
# and a small Qt Widgets program, and runs them under Wine in a fresh prefix: the tests, the
# window headless (-platform offscreen) and, when Xvfb is there, with the real windows platform
# plugin on a virtual display (a screenshot is kept).
#
# Usage: scripts/windows-toolchain-check.sh [work folder]   (default: a new folder in /tmp)
# Builds nothing of the project and leaves the cache as it is.
set -euo pipefail

readonly REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly WORK=${1:-$(mktemp -d /tmp/quna-windows-check.XXXXXX)}
readonly WINE_TIMEOUT=${QUNA_WINE_TIMEOUT:-300}

log() { printf 'windows-check: %s\n' "$*" >&2; }
die() { printf 'windows-check: error: %s\n' "$*" >&2; exit 1; }

tc=$("$REPO/scripts/windows-toolchain.sh" --print-path | tail -n 1) \
    || die "the toolchain cache is not built: run scripts/windows-toolchain.sh"
log "toolchain cache $tc, work folder $WORK"

WINE=$(command -v wine || command -v wine64 || true)
[[ -n $WINE ]] || die "wine is not installed (apt-get install wine wine64)"

mkdir -p "$WORK/src"
cat >"$WORK/src/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.21)
project(windows_toolchain_check CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_AUTOMOC ON)
find_package(Qt6 REQUIRED COMPONENTS Core Widgets)
# libzip through pkg-config and zlib as the project finds them.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
find_package(ZLIB REQUIRED)
find_package(GTest REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(zip_check zip_check.cpp)
target_link_libraries(zip_check PRIVATE GTest::gtest_main PkgConfig::LIBZIP ZLIB::ZLIB Qt6::Core)
message(STATUS "libzip ${LIBZIP_VERSION} from ${LIBZIP_LINK_LIBRARIES}, zlib ${ZLIB_LIBRARIES}")
add_executable(widgets_check widgets_check.cpp)
target_link_libraries(widgets_check PRIVATE Qt6::Widgets)
file(WRITE ${CMAKE_BINARY_DIR}/dll-dirs.txt "${QUNA_WINDOWS_DLL_DIRS}")
EOF

cat >"$WORK/src/zip_check.cpp" <<'EOF'
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

namespace {

QByteArray readEntry(zip_t* z, const char* name) {
    zip_int64_t index = zip_name_locate(z, name, 0);
    if (index < 0) return {};
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(z, index, 0, &st) != 0) return {};
    zip_file_t* f = zip_fopen_index(z, index, 0);
    if (!f) return {};
    QByteArray data(static_cast<qsizetype>(st.size), '\0');
    zip_int64_t n = zip_fread(f, data.data(), st.size);
    zip_fclose(f);
    return n == static_cast<zip_int64_t>(st.size) ? data : QByteArray();
}

}  // namespace

TEST(ZipOnWindows, WritesAndReadsBackAnArchive) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A name with an accent: the archive goes through libzip's UTF-8 to UTF-16 file names.
    const QString path = QDir::toNativeSeparators(dir.filePath(QStringLiteral("qn45070218-è.zip")));
    const QByteArray native = path.toUtf8();
    ASSERT_TRUE(path.contains(QLatin1Char('\\')));

    const QByteArray text = QByteArrayLiteral("Aggiorna versione di QUNA\r\n").repeated(1000);
    int err = 0;
    zip_t* z = zip_open(native.constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(z, nullptr) << "zip_open error " << err;
    zip_source_t* src = zip_source_buffer(z, text.constData(), text.size(), 0);
    ASSERT_NE(src, nullptr);
    ASSERT_GE(zip_file_add(z, "DATI/leggimi.txt", src, ZIP_FL_ENC_UTF_8), 0) << zip_strerror(z);
    ASSERT_GE(zip_dir_add(z, "Aggiorna", ZIP_FL_ENC_UTF_8), 0);
    ASSERT_EQ(zip_close(z), 0);

    const QFileInfo info(path);
    ASSERT_TRUE(info.exists());
    EXPECT_LT(info.size(), text.size());  // deflated through zlib

    z = zip_open(native.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    ASSERT_NE(z, nullptr) << "zip_open error " << err;
    EXPECT_EQ(zip_get_num_entries(z, 0), 2);
    EXPECT_EQ(readEntry(z, "DATI/leggimi.txt"), text);  // the CRC is checked on the last read
    EXPECT_LT(zip_name_locate(z, "manca.txt", 0), 0);
    zip_close(z);
}

TEST(ZipOnWindows, ZlibComputesTheArchivesCrc) {
    const char text[] = "QUNA";
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(text), 4), 0x57a3480du);
}

TEST(ZipOnWindows, QtCoreSeesWindowsPaths) {
    EXPECT_TRUE(QDir::drives().size() >= 1);
    EXPECT_EQ(QDir::toNativeSeparators(QStringLiteral("C:/QUNAWIN/DATI")),
              QStringLiteral("C:\\QUNAWIN\\DATI"));
    EXPECT_TRUE(QFileInfo(QStringLiteral("C:\\windows")).isDir());
}
EOF

cat >"$WORK/src/widgets_check.cpp" <<'EOF'
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Aggiorna versione di QUNA"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Versione installata: 4.5 — perché è già così")));
    auto* list = new QListWidget;
    for (const QFileInfo& drive : QDir::drives()) list->addItem(drive.absoluteFilePath());
    for (const QFileInfo& entry : QDir(QStringLiteral("C:\\")).entryInfoList(
             QDir::AllEntries | QDir::NoDotAndDotDot))
        list->addItem(QDir::toNativeSeparators(entry.absoluteFilePath()));
    layout->addWidget(list);
    window.resize(420, 300);
    window.show();
    const QString shot = argc > 1 ? QString::fromLocal8Bit(argv[argc - 1]) : QString();
    QTimer::singleShot(1500, &window, [&] {
        bool saved = !shot.endsWith(QLatin1String(".png")) || window.grab().save(shot);
        std::printf("platform=%s style=%s items=%d first=%s visible=%d saved=%d\n",
                    qPrintable(QGuiApplication::platformName()),
                    qPrintable(app.style()->name()), list->count(),
                    list->count() ? qPrintable(list->item(0)->text()) : "", window.isVisible(),
                    saved);
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
EOF

log "configuring and building with cmake/mingw-w64.cmake"
cmake -G Ninja -S "$WORK/src" -B "$WORK/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-w64.cmake" -DQUNA_WINDOWS_TOOLCHAIN="$tc" \
    >"$WORK/configure.log" 2>&1 || { tail -n 40 "$WORK/configure.log"; die "configure failed"; }
nice -n 19 cmake --build "$WORK/build" -j"${JOBS:-2}" >"$WORK/build.log" 2>&1 \
    || { tail -n 40 "$WORK/build.log"; die "build failed"; }
file "$WORK/build/zip_check.exe" "$WORK/build/widgets_check.exe" >&2

# The DLL folders as Windows paths (Wine's Z: is the host's /).
winepath=""
IFS=';' read -r -a dirs <"$WORK/build/dll-dirs.txt"
for d in "${dirs[@]}"; do
    winepath+="${winepath:+;}Z:${d//\//\\}"
done
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEPATH="$winepath" WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
log "making a fresh Wine prefix"
timeout "$WINE_TIMEOUT" "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1 \
    || { tail -n 20 "$WORK/wineboot.log"; die "wineboot failed or timed out"; }

failures=0
log "zip_check.exe under Wine"
if timeout "$WINE_TIMEOUT" "$WINE" "$WORK/build/zip_check.exe" 2>&1 | tee "$WORK/zip_check.log" \
    && grep -q '^\[  PASSED  \] 3 tests' "$WORK/zip_check.log"; then
    log "zip_check: passed"
else
    log "zip_check: FAILED (log $WORK/zip_check.log)"; failures=$((failures + 1))
fi

log "widgets_check.exe under Wine, -platform offscreen"
timeout "$WINE_TIMEOUT" "$WINE" "$WORK/build/widgets_check.exe" -platform offscreen \
    "Z:${WORK//\//\\}\\offscreen.png" 2>&1 | tr -d '\r' | tee "$WORK/widgets_offscreen.log" || true
if grep -q '^platform=offscreen .*visible=1 saved=1' "$WORK/widgets_offscreen.log"; then
    log "widgets offscreen: passed (grab in $WORK/offscreen.png)"
else
    log "widgets offscreen: FAILED"; failures=$((failures + 1))
fi

if command -v Xvfb >/dev/null; then
    log "widgets_check.exe under Wine on Xvfb with the windows platform plugin"
    # Xvfb picks a free display itself: other builds on the machine may hold some.
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$WORK/xvfb.display" \
        >"$WORK/xvfb.log" 2>&1 &
    xvfb_pid=$!
    trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        [[ -s $WORK/xvfb.display ]] && break
        sleep 0.1
    done
    [[ -s $WORK/xvfb.display ]] || die "Xvfb did not start within 10 s ($WORK/xvfb.log)"
    display=:$(head -n 1 "$WORK/xvfb.display")
    (
        sleep 8
        command -v import >/dev/null && DISPLAY=$display import -window root "$WORK/xvfb-screen.png" 2>/dev/null || true
    ) &
    shot_pid=$!
    DISPLAY=$display timeout "$WINE_TIMEOUT" "$WINE" "$WORK/build/widgets_check.exe" \
        "Z:${WORK//\//\\}\\windows.png" 2>&1 | tr -d '\r' | tee "$WORK/widgets_windows.log" || true
    wait "$shot_pid" || true
    if grep -q '^platform=windows .*visible=1 saved=1' "$WORK/widgets_windows.log"; then
        log "widgets windows: passed (grab in $WORK/windows.png)"
    else
        log "widgets windows: FAILED"; failures=$((failures + 1))
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    trap - EXIT
else
    log "Xvfb not installed: the windows platform plugin was not tried"
fi

timeout 60 wineserver -k 2>/dev/null || true
if ((failures)); then
    die "$failures check(s) failed; everything is in $WORK"
fi
log "all checks passed; everything is in $WORK"
