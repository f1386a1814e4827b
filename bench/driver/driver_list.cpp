// Opens an archive through the archive driver as the window does and builds the whole-archive
// file list (rows ready for the view), printing the time of each step and the memory used.
// usage: bench_driver_list ARCHIVE [--rows-only]
#include <QGuiApplication>
#include <QLocale>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "CArchive_Driver.h"
#include "CFileListModel.h"

namespace {

long RssKiB(const char* pszField) {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine)) {
        if (strLine.rfind(pszField, 0) == 0)
            return std::atol(strLine.c_str() + std::strlen(pszField));
    }
    return -1;
}

double Seconds(std::chrono::steady_clock::time_point tStart) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE\n", argv[0]);
        return 2;
    }
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));

    const long nRssBefore = RssKiB("VmRSS:");
    kestrel::CArchive_Driver cDriver;
    const auto tOpen = std::chrono::steady_clock::now();
    if (!cDriver.Open(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const double dOpen = Seconds(tOpen);
    const long nRssOpen = RssKiB("VmRSS:");

    const auto tList = std::chrono::steady_clock::now();
    std::vector<kestrel::ListViewItem> vItems;
    const kestrel::CIconList* pcImages = nullptr;
    int32_t nCount = 0;
    int64_t llOriginal = 0, llCompressed = 0;
    cDriver.Get_FileListViewItems(QString(), vItems, pcImages, nCount, llOriginal, llCompressed);
    kestrel::CFileListModel cModel(&cDriver);
    cModel.SetItems(std::move(vItems), pcImages);
    // What a view shows first: the texts of one screenful.
    for (int nRow = 0; nRow < std::min(cModel.rowCount(), 40); ++nRow)
        for (int nColumn = 0; nColumn < cModel.columnCount(); ++nColumn)
            (void)cModel.data(cModel.index(nRow, nColumn));
    const double dList = Seconds(tList);
    const long nRssList = RssKiB("VmRSS:");

    const long nEntries = cDriver.nFileCount();
    std::printf("entries\t%ld\nopen_s\t%.3f\nlist_s\t%.3f\nrows\t%d\n", nEntries, dOpen, dList,
                cModel.rowCount());
    std::printf("rss_before_kib\t%ld\nrss_open_kib\t%ld\nrss_list_kib\t%ld\npeak_kib\t%ld\n",
                nRssBefore, nRssOpen, nRssList, RssKiB("VmHWM:"));
    if (nEntries > 0)
        std::printf("bytes_per_entry\t%.0f\n",
                    double(nRssList - nRssBefore) * 1024.0 / double(nEntries));
    return 0;
}
