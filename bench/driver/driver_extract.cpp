// The window's way of extracting a whole archive, without a display: open through the archive
// driver, stage in a private folder on the destination's file system (the temporary folder is
// elsewhere), extract on a worker thread with an observer that keeps the progress as the
// window's job does, then rename the staged folder into place. Prints the time of each step.
// With --cancel-after SECONDS the extraction is cancelled then, and the time it took to stop
// is printed.
// usage: bench_driver_extract ARCHIVE DESTINATION [--cancel-after SECONDS]
#include <stdlib.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "CArchive_Driver.h"
#include "CTreeWalk.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point tStart, Clock::time_point tEnd = Clock::now()) {
    return std::chrono::duration<double>(tEnd - tStart).count();
}

// What the window's job keeps of each report, under the same lock.
class CObserver : public shelf::IExtractObserver {
public:
    bool Progress(const shelf::EXTRACT_PROGRESS& c_st) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stLast.nEntriesDone = c_st.nEntriesDone;
        m_stLast.llBytesDone = c_st.llBytesDone;
        if (m_stLast.strPath != c_st.strPath) m_stLast.strPath = c_st.strPath;
        return !bCancel;
    }
    std::atomic<bool> bCancel{false};

private:
    std::mutex m_mutex;
    shelf::EXTRACT_PROGRESS m_stLast;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE DESTINATION [--cancel-after SECONDS]\n", argv[0]);
        return 2;
    }
    const double dCancelAfter =
        argc >= 5 && std::strcmp(argv[3], "--cancel-after") == 0 ? std::atof(argv[4]) : -1.0;
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    kestrel::CArchive_Driver cDriver;
    cDriver.Set_TempDirectory(QDir::tempPath());
    const auto tOpen = Clock::now();
    if (!cDriver.Open(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const double dOpen = Seconds(tOpen);

    const QString strDestination = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + '/';
    QDir().mkpath(strDestination);
    QByteArray baPrivate = QFile::encodeName(strDestination + QStringLiteral(".kestrel-XXXXXX"));
    if (::mkdtemp(baPrivate.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const QString strStaging =
        QFile::decodeName(baPrivate) + '/' + cDriver.strFileName() + QLatin1Char('/');

    const auto tExtract = Clock::now();
    QStringList lstFiles;
    cDriver.Get_DirectoryFiles(QStringLiteral("/"), lstFiles, true);
    CObserver cObserver;
    std::atomic<bool> bDone{false};
    int32_t nResult = 0;
    std::thread worker([&] {
        nResult = cDriver.Extract(lstFiles, strStaging, true, true, &cObserver);
        bDone = true;
    });
    Clock::time_point tCancel{};
    while (!bDone) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (dCancelAfter >= 0 && tCancel == Clock::time_point{} &&
            Seconds(tExtract) >= dCancelAfter) {
            tCancel = Clock::now();
            cObserver.bCancel = true;
        }
    }
    worker.join();
    const auto tStopped = Clock::now();
    const bool bMoved = nResult >= 0 && QDir().rename(strStaging.chopped(1),
                                                      strDestination + cDriver.strFileName());
    kestrel::safefs::RemoveTree(baPrivate, /*bMakeWritable=*/true);
    const double dExtract = Seconds(tExtract);

    std::printf("files\t%lld\nresult\t%d\nopen_s\t%.3f\nextract_s\t%.3f\nmoved\t%d\n",
                static_cast<long long>(lstFiles.size()), nResult, dOpen, dExtract, bMoved ? 1 : 0);
    if (tCancel != Clock::time_point{}) std::printf("cancel_s\t%.3f\n", Seconds(tCancel, tStopped));
    return nResult >= 0 || tCancel != Clock::time_point{} ? 0 : 1;
}
