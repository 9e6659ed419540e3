#include "app/shell/thumbnail_worker.h"

#include "imaging/image.h"
#include "platform/win/wnd.h"

#include <cstdio>

void FreeThumbnailItem(void* item)
{
    auto* thumbnail = static_cast<ThumbnailItem*>(item);
    if (!thumbnail) return;
    ReleaseImage(thumbnail->image);
    delete thumbnail;
}

ThumbnailJob::~ThumbnailJob()
{
    DiscardReports();
}

void ThumbnailJob::Push(Report report)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_reports.push_back(std::move(report));
}

std::deque<ThumbnailJob::Report> ThumbnailJob::TakeReports()
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::deque<Report> taken;
    taken.swap(m_reports);
    return taken;
}

void ThumbnailJob::DiscardReports()
{
    for (Report& report : TakeReports()) ReleaseImage(report.image);
}

void ThumbnailJob::MarkEnded()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        running.store(0);
    }
    m_ended.notify_all();
}

bool ThumbnailJob::WaitEnded(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_ended.wait_for(guard, timeout, [this] { return running.load() == 0; });
}

UINT ThumbnailWorker(void* param)
{
    const std::unique_ptr<std::shared_ptr<ThumbnailJob>> holder(static_cast<std::shared_ptr<ThumbnailJob>*>(param));
    if (!holder || !*holder) return 1;
    ThumbnailJob& job = **holder;
    job.running.store(1);
    const int count = static_cast<int>(job.files.size());
    for (int k = job.firstFile; k < count; ++k) {
        if (job.stop.load()) {
            job.interrupted.store(1);
            job.MarkEnded();
            return 0;
        }
        const std::string& name = job.files[static_cast<size_t>(k)];
        char text[512];
        std::snprintf(text, sizeof text, "Loading #%d thumbnail %s", k + 1, name.c_str());
        ThumbnailJob::Report status;
        status.status = text;
        status.hasStatus = true;
        job.Push(std::move(status));
        ::PostMessage(job.board, WM_THUMBNAIL_READY, 0, 0);
        const std::string path = job.folder + "/" + name;
        Image* image = job.loader ? job.loader(path.c_str(), 96) : nullptr;
        if (!image) continue;  // a file that gives no image is skipped
        if (job.stop.load()) {
            ReleaseImage(image);
            job.interrupted.store(1);
            job.MarkEnded();
            return 0;
        }
        ThumbnailJob::Report loaded;
        loaded.image = image;
        loaded.fileIndex = k;
        job.Push(std::move(loaded));
        ::PostMessage(job.board, WM_THUMBNAIL_READY, 0, 0);
    }
    ThumbnailJob::Report end;
    end.hasStatus = true;
    end.finished = true;
    job.Push(std::move(end));
    ::PostMessage(job.board, WM_THUMBNAIL_READY, 0, 1);
    job.MarkEnded();
    return 0;
}
