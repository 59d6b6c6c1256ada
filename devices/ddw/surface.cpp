/*
 * surface.cpp --
 *
 *	Surface memory of the ddw widget (surface.h): System V shared memory
 *	attached through MIT-SHM, falling back to malloc'd rows.
 */
#include "devices/ddw/surface.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include "display/xtrap.h"

struct SurfaceSegment {
    XShmSegmentInfo info;
};

namespace {

constexpr std::size_t kMaxBytes = std::size_t(1) << 31;

std::size_t imageBytes(const XImage *image)
{
    return static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(image->height);
}

/* The rows of image in a segment the server has attached, or NULL (image
 * then destroyed). The segment is marked for removal at once: it goes away
 * with the last detach, even when the process dies. */
SurfaceSegment *attachShared(Display *display, XImage *image)
{
    std::size_t bytes = imageBytes(image);
    auto *segment = new (std::nothrow) SurfaceSegment{};
    if (segment == nullptr || bytes >= kMaxBytes) {
        delete segment;
        return nullptr;
    }
    segment->info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment->info.shmid < 0) {
        delete segment;
        return nullptr;
    }
    void *address = shmat(segment->info.shmid, nullptr, 0);
    bool attached = false;
    if (address != reinterpret_cast<void *>(-1)) {
        segment->info.shmaddr = image->data = static_cast<char *>(address);
        segment->info.readOnly = False;
        XErrorTrap trap(display);
        attached = XShmAttach(display, &segment->info) && !trap.failed();
    }
    shmctl(segment->info.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (address != reinterpret_cast<void *>(-1)) {
            shmdt(address);
        }
        image->data = nullptr;
        delete segment;
        return nullptr;
    }
    return segment;
}

}  // namespace

bool surfaceImageCreate(Display *display, Visual *visual, int depth, int width, int height, SurfaceImage *out)
{
    *out = SurfaceImage();
    if (width < 1 || height < 1 || width > 32767 || height > 32767) {
        return false;
    }
    auto w = static_cast<unsigned>(width), h = static_cast<unsigned>(height);
    if (XShmQueryExtension(display)) {
        XShmSegmentInfo probe{};
        XImage *image = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &probe, w, h);
        SurfaceSegment *segment = image != nullptr ? attachShared(display, image) : nullptr;
        if (segment != nullptr) {
            image->obdata = reinterpret_cast<char *>(&segment->info);
            out->image = image;
            out->segment = segment;
            return true;
        }
        if (image != nullptr) {
            XDestroyImage(image);
        }
    }
    XImage *image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, w, h, 32, 0);
    if (image == nullptr) {
        return false;
    }
    std::size_t bytes = imageBytes(image);
    image->data = bytes < kMaxBytes ? static_cast<char *>(std::calloc(bytes, 1)) : nullptr;
    if (image->data == nullptr) {
        XDestroyImage(image);
        return false;
    }
    out->image = image;
    return true;
}

void surfaceImagePut(Display *display, Drawable drawable, GC gc, const SurfaceImage &surface, int first, int count)
{
    XImage *image = surface.image;
    auto width = static_cast<unsigned>(image->width);
    if (surface.segment != nullptr) {
        XShmPutImage(display, drawable, gc, image, 0, first, 0, first, width, static_cast<unsigned>(count), False);
        XSync(display, False);
    } else {
        XPutImage(display, drawable, gc, image, 0, first, 0, first, width, static_cast<unsigned>(count));
    }
}

void surfaceImageFree(Display *display, SurfaceImage *surface)
{
    if (surface->segment != nullptr) {
        XShmDetach(display, &surface->segment->info);
        XSync(display, False);
        shmdt(surface->segment->info.shmaddr);
        surface->image->data = nullptr;
        delete surface->segment;
    }
    if (surface->image != nullptr) {
        XDestroyImage(surface->image);
    }
    *surface = SurfaceImage();
}
