/*
 * progress.h --
 *
 *	The progress meter of a long pass over an image: the meter moves at
 *	marks meterInc() apart, and an optional notice runs at each mark
 *	before the meter moves (the image operations tell the clients of the
 *	image they write, so that displays follow the pass).
 */
#ifndef TESK_RUNTIME_PROGRESS_H
#define TESK_RUNTIME_PROGRESS_H

#include "tesk.h"

/*
 * ToolProgress --
 *	The progress meter of a pass: reached(fraction) sets the meter under
 *	label at each mark the fraction gets to, the marks meterInc() apart,
 *	from first on; a notice set by onMark runs at each mark first.
 */
class ToolProgress {
public:
    explicit ToolProgress(const char *label, float first = 0.0f) : label_(label), mark_(first) {}
    /* notice(data) runs at each mark before the meter is set; NULL: none. */
    void onMark(void (*notice)(void *data), void *data)
    {
        notice_ = notice;
        noticeData_ = data;
    }
    void reached(float fraction)
    {
        if (fraction >= mark_) {
            if (notice_ != nullptr) {
                notice_(noticeData_);
            }
            meterSet(label_, mark_);
            mark_ += meterInc();
        }
    }

private:
    const char *label_;
    float mark_;
    void (*notice_)(void *data) = nullptr;
    void *noticeData_ = nullptr;
};

#endif /* TESK_RUNTIME_PROGRESS_H */
