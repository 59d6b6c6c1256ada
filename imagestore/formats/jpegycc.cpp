/*
 * jpegycc.cpp --
 *
 *	Raw YCbCr rows of a JPEG to RGB band rows on worker threads, behind
 *	one decoder (jpegycc.h). The arithmetic is libjpeg's output stage to
 *	the bit: chroma widened by the 3:1 triangle filter with its alternating
 *	rounding, rows beyond the image's edges repeating the edge, and the
 *	conversion in 16-bit fixed point with the rounding half folded into
 *	the red, blue and the Cb part of green.
 */
#include "imagestore/formats/jpegycc.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace {

constexpr int kBatchRows = 64;  // image rows a batch aims at
constexpr int kScaleBits = 16;
constexpr int32_t kHalf = int32_t{1} << (kScaleBits - 1);

constexpr int32_t fixed(double x)
{
    return static_cast<int32_t>(x * (1 << kScaleBits) + 0.5);
}

constexpr int32_t kCrToR = fixed(1.40200), kCbToB = fixed(1.77200);
constexpr int32_t kCrToG = fixed(0.71414), kCbToG = fixed(0.34414);

inline unsigned char clampByte(int32_t v)
{
    return static_cast<unsigned char>(std::min(std::max(v, 0), 255));
}

/* One chroma row doubled across: each sample weighs 3, its neighbour on
 * the side of the output column 1; the left output rounds by 1, the right
 * by 2 (of 4). The ends repeat their sample. n > 2. */
void widenAcross(const unsigned char *in, int32_t n, unsigned char *out)
{
    out[0] = in[0];
    out[1] = static_cast<unsigned char>((3 * in[0] + in[1] + 2) >> 2);
    for (int32_t i = 1; i < n - 1; i++) {
        const int here = 3 * in[i];
        out[2 * i] = static_cast<unsigned char>((here + in[i - 1] + 1) >> 2);
        out[2 * i + 1] = static_cast<unsigned char>((here + in[i + 1] + 2) >> 2);
    }
    out[2 * n - 2] = static_cast<unsigned char>((3 * in[n - 1] + in[n - 2] + 1) >> 2);
    out[2 * n - 1] = in[n - 1];
}

/* One chroma row doubled both ways: down, the nearer row weighs 3 and the
 * farther 1; across, the same with those sums, the left output rounding
 * by 8 and the right by 7 (of 16), an end sum repeating itself. n > 2;
 * sums holds n + 2. */
void widenBoth(const unsigned char *nearer, const unsigned char *farther, int32_t n, int16_t *sums, unsigned char *out)
{
    for (int32_t i = 0; i < n; i++) {
        sums[i + 1] = static_cast<int16_t>(3 * nearer[i] + farther[i]);
    }
    sums[0] = sums[1];
    sums[n + 1] = sums[n];
    for (int32_t i = 0; i < n; i++) {
        const int here = 3 * sums[i + 1];
        out[2 * i] = static_cast<unsigned char>((here + sums[i] + 8) >> 4);
        out[2 * i + 1] = static_cast<unsigned char>((here + sums[i + 2] + 7) >> 4);
    }
}

/* YCbCr samples of a row to its red, green and blue rows. */
void yccToRgb(const unsigned char *y, const unsigned char *cb, const unsigned char *cr, int32_t columns,
              unsigned char *red, unsigned char *green, unsigned char *blue)
{
    for (int32_t i = 0; i < columns; i++) {
        const int32_t luma = y[i], b = cb[i] - 128, r = cr[i] - 128;
        red[i] = clampByte(luma + ((kCrToR * r + kHalf) >> kScaleBits));
        green[i] = clampByte(luma + ((kHalf - kCbToG * b - kCrToG * r) >> kScaleBits));
        blue[i] = clampByte(luma + ((kCbToB * b + kHalf) >> kScaleBits));
    }
}

}  // namespace

bool yccShapeOf(j_decompress_ptr cinfo, YccShape *shape)
{
    if (cinfo->jpeg_color_space != JCS_YCbCr || cinfo->out_color_space != JCS_RGB || cinfo->num_components != 3 ||
        jpeg_has_multiple_scans(cinfo) || cinfo->scale_num != cinfo->scale_denom || !cinfo->do_fancy_upsampling ||
        cinfo->CCIR601_sampling || cinfo->quantize_colors) {
        return false;
    }
    const jpeg_component_info *c = cinfo->comp_info;
    const int h = c[0].h_samp_factor, v = c[0].v_samp_factor;
    if (h < 1 || h > 2 || v < 1 || v > h) {
        return false;
    }
    for (int k = 1; k < 3; k++) {
        if (c[k].h_samp_factor != 1 || c[k].v_samp_factor != 1) {
            return false;
        }
    }
    const int32_t chromaColumns = static_cast<int32_t>((cinfo->image_width + h - 1) / h);
    if (h == 2 && chromaColumns <= 2) {
        return false;  // libjpeg repeats samples there rather than smooth them
    }
    shape->columns = static_cast<int32_t>(cinfo->image_width);
    shape->rows = static_cast<int32_t>(cinfo->image_height);
    shape->h = h;
    shape->v = v;
    shape->chromaColumns = chromaColumns;
    shape->chromaRows = static_cast<int32_t>((cinfo->image_height + v - 1) / v);
    shape->lumaStride = static_cast<int32_t>(c[0].width_in_blocks * DCTSIZE);
    shape->chromaStride = static_cast<int32_t>(c[1].width_in_blocks * DCTSIZE);
    return true;
}

YccPipe::YccPipe(unsigned char *const *targets, int workers) : targets_(targets), wanted_(workers) {}

YccPipe::~YccPipe()
{
    finish(false);
}

bool YccPipe::start(const YccShape &shape)
{
    shape_ = shape;
    mcuRows_ = kBatchRows / (DCTSIZE * shape.v);
    batchRows_ = mcuRows_ * DCTSIZE * shape.v;
    batchChroma_ = mcuRows_ * DCTSIZE;
    const size_t lumaBytes = static_cast<size_t>(batchRows_) * shape.lumaStride;
    const size_t chromaBytes = static_cast<size_t>(batchChroma_ + 2) * shape.chromaStride;
    try {
        slots_.resize(static_cast<size_t>(wanted_) + 3);
        for (Slot &slot : slots_) {
            slot.samples.resize(lumaBytes + 2 * chromaBytes);
            unsigned char *at = slot.samples.data();
            for (int c = 0; c < 3; c++) {
                const int32_t count = c == 0 ? batchRows_ : batchChroma_ + 2;
                const int32_t stride = c == 0 ? shape.lumaStride : shape.chromaStride;
                slot.rows[c].resize(static_cast<size_t>(count));
                for (int32_t i = 0; i < count; i++, at += stride) {
                    slot.rows[c][static_cast<size_t>(i)] = at;
                }
            }
            free_.push_back(&slot);
        }
        scratch_.resize(static_cast<size_t>(wanted_));
        for (Scratch &s : scratch_) {
            s.bytes.resize(4 * static_cast<size_t>(shape.chromaColumns) + 2 * static_cast<size_t>(shape.columns));
            s.sums.resize(static_cast<size_t>(shape.chromaColumns) + 2);
        }
        for (int k = 0; k < wanted_; k++) {
            threads_.emplace_back(&YccPipe::work, this, &scratch_[static_cast<size_t>(k)]);
        }
    } catch (const std::bad_alloc &) {
    } catch (const std::system_error &) {
        /* Fewer workers than asked for serve as well; none, not at all. */
    }
    return !threads_.empty();
}

void YccPipe::handOver(Slot *slot)
{
    if (filling_ != nullptr && filling_ != slot) {
        /* The neighbour rows across the two batches' border. */
        for (int c = 1; c < 3; c++) {
            std::memcpy(slot->rows[c][static_cast<size_t>(batchChroma_) + 1], filling_->rows[c][1],
                        static_cast<size_t>(shape_.chromaStride));
            std::memcpy(filling_->rows[c][0], slot->rows[c][static_cast<size_t>(batchChroma_)],
                        static_cast<size_t>(shape_.chromaStride));
        }
    }
    std::lock_guard<std::mutex> hold(lock_);
    ready_.push_back(slot);
    handed_++;
    changed_.notify_one();
}

JSAMPIMAGE YccPipe::next()
{
    if (waiting_ != nullptr && mcu_ > filling_->batch * mcuRows_) {
        handOver(waiting_);  // the batch below has its first rows now
        waiting_ = nullptr;
    }
    if (mcu_ % mcuRows_ == 0) {
        waiting_ = filling_;
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return !free_.empty(); });
        filling_ = free_.front();
        free_.pop_front();
        filling_->batch = mcu_ / mcuRows_;
    }
    const int k = mcu_ % mcuRows_;
    filling_->planes[0] = filling_->rows[0].data() + k * DCTSIZE * shape_.v;
    filling_->planes[1] = filling_->rows[1].data() + 1 + k * DCTSIZE;
    filling_->planes[2] = filling_->rows[2].data() + 1 + k * DCTSIZE;
    mcu_++;
    return filling_->planes;
}

int32_t YccPipe::finish(bool whole)
{
    if (whole && waiting_ != nullptr) {
        handOver(waiting_);
    }
    if (whole && filling_ != nullptr) {
        handOver(filling_);  // the last batch: its lower neighbour is its own last row
    }
    waiting_ = filling_ = nullptr;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        changed_.notify_all();
    }
    for (std::thread &thread : threads_) {
        thread.join();
    }
    threads_.clear();
    return std::min(shape_.rows, handed_ * batchRows_);
}

void YccPipe::work(Scratch *scratch)
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return stopping_ || !ready_.empty(); });
        if (ready_.empty()) {
            return;
        }
        Slot *slot = ready_.front();
        ready_.pop_front();
        hold.unlock();
        convert(*slot, scratch);
        hold.lock();
        free_.push_back(slot);
        changed_.notify_all();
    }
}

/* The image rows of a batch: chroma row j of the image is the slot's
 * chroma row j - (first chroma row of the batch) + 1; rows outside the
 * image repeat its edge rows. */
void YccPipe::convert(const Slot &slot, Scratch *scratch) const
{
    const YccShape &s = shape_;
    const int32_t first = slot.batch * batchRows_, last = std::min(first + batchRows_, s.rows);
    const int32_t chromaBase = slot.batch * batchChroma_ - 1;
    unsigned char *wide[2] = {scratch->bytes.data(), scratch->bytes.data() + 2 * s.chromaColumns};
    unsigned char *unwanted = scratch->bytes.data() + 4 * static_cast<size_t>(s.chromaColumns);
    for (int32_t y = first; y < last; y++) {
        unsigned char *out[3];
        bool any = false;
        for (int b = 0; b < 3; b++) {
            out[b] = targets_[static_cast<int64_t>(y) * 3 + b];
            any = any || out[b] != nullptr;
            out[b] = out[b] != nullptr ? out[b] : unwanted;
        }
        if (!any) {
            continue;
        }
        const int32_t j = y / s.v;
        const int32_t other = s.v == 1 ? j : (y % 2 == 0 ? std::max(j - 1, 0) : std::min(j + 1, s.chromaRows - 1));
        const unsigned char *chroma[2];
        for (int c = 0; c < 2; c++) {
            const std::vector<JSAMPROW> &rows = slot.rows[c + 1];
            const unsigned char *nearer = rows[static_cast<size_t>(j - chromaBase)];
            if (s.h == 1) {
                chroma[c] = nearer;
            } else if (s.v == 1) {
                widenAcross(nearer, s.chromaColumns, wide[c]);
                chroma[c] = wide[c];
            } else {
                widenBoth(nearer, rows[static_cast<size_t>(other - chromaBase)], s.chromaColumns, scratch->sums.data(),
                          wide[c]);
                chroma[c] = wide[c];
            }
        }
        yccToRgb(slot.rows[0][static_cast<size_t>(y - first)], chroma[0], chroma[1], s.columns, out[0], out[1], out[2]);
    }
}
