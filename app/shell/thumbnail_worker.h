// The thumbnail worker of the image browser's board: one job loads the
// 96-pixel thumbnails of a folder's files on a registered worker thread.
// The worker touches nothing the user-interface thread owns: it reads the
// folder and the file names copied into the job, and hands each loaded
// thumbnail and each status text over as an owned report in the job's
// queue, announced by posting 0x8150 to the board (lParam 0; 1 at the end).
// The board drains the queue on the user-interface thread.
#pragma once

#include "platform/win/win_defs.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Image;

constexpr UINT WM_THUMBNAIL_READY = 0x8150;  // to the board; lParam 0 a report, 1 loading finished

// One thumbnail of the board's list: the image (one reference held), the
// index of its file in the list box and flags (bit 0 marked).
struct ThumbnailItem {
    Image* image = nullptr;
    uint16_t fileIndex = 0;
    uint16_t flags = 0;
};
constexpr uint16_t kThumbnailMarked = 0x1;

// The List deleter of thumbnail items: releases the image, frees the item.
void FreeThumbnailItem(void* item);

// The thumbnail loader the worker calls (LoadThumbnail of the image
// loaders by default): a new reference or null.
using ThumbnailLoader = Image* (*)(const char* path, int size);

// Shared by the board and its worker (std::shared_ptr), so that neither
// outlives what it uses.
struct ThumbnailJob {
    // One item handed from the worker to the board: a status text, or a
    // loaded thumbnail (one reference, owned by the report), or the end.
    struct Report {
        std::string status;
        bool hasStatus = false;
        Image* image = nullptr;
        int fileIndex = -1;
        bool finished = false;
    };

    ThumbnailJob() = default;
    ~ThumbnailJob();
    ThumbnailJob(const ThumbnailJob&) = delete;
    ThumbnailJob& operator=(const ThumbnailJob&) = delete;

    std::atomic<uint8_t> stop{0};
    std::atomic<uint8_t> running{0};
    std::atomic<uint8_t> interrupted{0};  // the worker saw stop before the end

    // Set by the board before each start, read-only while the worker runs.
    HWND board = nullptr;
    HWND mainFrame = nullptr;
    std::string folder;  // the file layer's form ("/data/f"), without a trailing slash
    std::vector<std::string> files;
    int firstFile = 0;  // a resumed load continues here
    ThumbnailLoader loader = nullptr;
    // Grid of the board (cell 100 x 112); the board updates the client
    // width and columns when it is resized during a load.
    std::atomic<int> clientWidth{0};
    std::atomic<int> columns{1};
    int count = 0;
    int cellWidth = 100;
    int cellHeight = 112;

    void Push(Report report);
    // Takes every waiting report (the caller owns their images).
    std::deque<Report> TakeReports();
    // Releases the images of reports nobody will take.
    void DiscardReports();
    // Marks the worker ended and wakes a waiting board.
    void MarkEnded();
    // Waits up to `timeout` for the worker to end; true when it has.
    bool WaitEnded(std::chrono::milliseconds timeout);

private:
    std::mutex m_lock;
    std::condition_variable m_ended;
    std::deque<Report> m_reports;
};

// The worker's thread function; `param` is a heap std::shared_ptr of the
// job, which the worker deletes.
UINT ThumbnailWorker(void* param);
