#include "Images/J2000/Image.h"

#include <algorithm>

namespace j2000 {

namespace {

bool rect_inside(const image_cmpnt_t& c, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                 std::uint32_t h) {
    return x <= c.width_ && y <= c.height_ && w <= c.width_ - x && h <= c.height_ - y;
}

std::int64_t sample_offset(const image_cmpnt_t& c, std::uint32_t x, std::uint32_t y) {
    return (static_cast<std::int64_t>(y) * c.width_ + x) * c.cps;
}

// A store in memory, given its full length so that every sample reads as 0 before it is
// written; its buffer goes back at once (thousands of components would each hold one).
StreamPtr memory_store(std::uint64_t bytes) {
    StreamPtr s = stream_memopen(nullptr, bytes);
    if (!s || s->seek(static_cast<std::int64_t>(bytes) - 1, SeekOrigin::Set) < 0 ||
        s->putc(0) == EOF_ || s->rewind() != 0 || s->release() != 0)
        return nullptr;
    return s;
}

// One store per component: in memory for a small image, else parts of one temporary file.
std::vector<StreamPtr> make_stores(const std::vector<std::uint64_t>& bytes, bool in_memory) {
    if (!in_memory)
        return stream_tmpstores(bytes);
    std::vector<StreamPtr> stores;
    for (const std::uint64_t n : bytes) {
        stores.push_back(memory_store(n));
        if (!stores.back())
            return {};
    }
    return stores;
}

// The low `cps` bytes of each sample, most significant first.
void pack_samples(const std::int32_t* src, std::uint32_t w, int cps, std::uint8_t* out) {
    if (cps == 1) {
        for (std::uint32_t i = 0; i < w; ++i)
            out[i] = static_cast<std::uint8_t>(src[i]);
        return;
    }
    for (std::uint32_t i = 0; i < w; ++i) {
        const auto v = static_cast<std::uint32_t>(src[i]);
        for (int b = cps - 1; b >= 0; --b)
            *out++ = static_cast<std::uint8_t>(v >> (8 * b));
    }
}

image_cmpnt_t* component_for(image_t& image, int cmptno, std::uint32_t x, std::uint32_t y,
                             std::uint32_t w, std::uint32_t h) {
    if (cmptno < 0 || cmptno >= image.numcmpts)
        return nullptr;
    image_cmpnt_t& c = *image.cmpts[static_cast<size_t>(cmptno)];
    return rect_inside(c, x, y, w, h) ? &c : nullptr;
}

// Writes `h` rows of `row` at (x, y) on, `prepare(j)` filling row j first (false stops with
// -1). A seek empties the store's buffer, so rows that follow each other in the store (a
// rectangle as wide as the component) are written without one. The store's buffer is given
// back afterwards: an image of thousands of components holds no buffer per component.
template <class Prepare>
int write_rows(image_cmpnt_t& c, std::uint32_t x, std::uint32_t y, std::uint32_t h,
               const std::vector<std::uint8_t>& row, Prepare prepare) {
    std::int64_t next = -1;
    for (std::uint32_t j = 0; j < h; ++j) {
        if (!prepare(j))
            return -1;
        const std::int64_t at = sample_offset(c, x, y + j);
        if ((at != next && c.stream->seek(at, SeekOrigin::Set) < 0) ||
            c.stream->write(row.data(), static_cast<long>(row.size())) !=
                static_cast<long>(row.size()))
            return -1;
        next = at + static_cast<std::int64_t>(row.size());
    }
    return c.stream->release() == 0 ? 0 : -1;
}

}  // namespace

ImagePtr image_create(std::uint32_t width, std::uint32_t height,
                      const std::vector<image_cmptparm_t>& cmptparms, int clrspc) {
    if (cmptparms.empty() || cmptparms.size() > static_cast<size_t>(kMaxComponents))
        return nullptr;
    std::uint64_t total = 0;
    std::vector<std::uint64_t> storebytes;
    for (const image_cmptparm_t& p : cmptparms) {
        if (p.width == 0 || p.height == 0 || p.prec < 1 || p.prec > 32 || p.hsamp < 1 ||
            p.vsamp < 1)
            return nullptr;
        // Refused beyond 2^46 samples of up to 4 bytes, so this sum of at most 16384 terms
        // cannot overflow.
        const std::uint64_t bytes = std::uint64_t{p.width} * p.height;  // below 2^64
        if (bytes > (std::uint64_t{1} << 46))
            return nullptr;
        storebytes.push_back(bytes * static_cast<std::uint64_t>((p.prec + 7) / 8));
        total += storebytes.back();
    }
    std::vector<StreamPtr> stores = make_stores(storebytes, total < kMemoryStoreLimit);
    if (stores.empty())
        return nullptr;
    auto image = std::make_unique<image_t>();
    image->width_ = width;
    image->height_ = height;
    image->clrspc = clrspc;
    for (size_t i = 0; i < cmptparms.size(); ++i) {
        const image_cmptparm_t& p = cmptparms[i];
        auto c = std::make_unique<image_cmpnt_t>();
        c->hsubsamp_ = p.hsamp;
        c->vsubsamp_ = p.vsamp;
        c->width_ = p.width;
        c->height_ = p.height;
        c->prec = p.prec;
        c->sgnd = p.sgnd;
        c->cps = (p.prec + 7) / 8;
        c->stream = std::move(stores[i]);
        image->cmpts.push_back(std::move(c));
        ++image->numcmpts;
    }
    return image;
}

int image_writecmpt(image_t& image, int cmptno, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                    std::uint32_t h, const std::int32_t* samples, std::ptrdiff_t stride) {
    image_cmpnt_t* c = component_for(image, cmptno, x, y, w, h);
    if (!c)
        return -1;
    std::vector<std::uint8_t> row(static_cast<size_t>(w) * c->cps);
    return write_rows(*c, x, y, h, row, [&](std::uint32_t j) {
        pack_samples(samples + static_cast<std::ptrdiff_t>(j) * stride, w, c->cps, row.data());
        return true;
    });
}

int image_fillcmpt(image_t& image, int cmptno, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                   std::uint32_t h, std::int32_t value, const std::function<bool()>& stopped) {
    image_cmpnt_t* c = component_for(image, cmptno, x, y, w, h);
    if (!c || w == 0 || h == 0)
        return c ? 0 : -1;
    std::uint8_t sample[4];
    pack_samples(&value, 1, c->cps, sample);
    // A store reads as zeros until written.
    if (std::all_of(sample, sample + c->cps, [](std::uint8_t b) { return b == 0; }))
        return 0;
    // Rows as wide as the component follow each other in the store: they are written as one
    // run, a megabyte at a time.
    const bool run = x == 0 && w == c->width_;
    const std::uint64_t rowbytes = std::uint64_t{w} * c->cps;
    const std::uint64_t total = run ? rowbytes * h : rowbytes;
    std::vector<std::uint8_t> chunk(static_cast<size_t>(std::min<std::uint64_t>(
        total, std::max<std::uint64_t>(rowbytes, (std::uint64_t{1} << 20) / c->cps * c->cps))));
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = sample[i % static_cast<size_t>(c->cps)];
    for (std::uint32_t j = 0; j < (run ? 1u : h); ++j) {
        if (c->stream->seek(sample_offset(*c, x, y + j), SeekOrigin::Set) < 0)
            return -1;
        for (std::uint64_t done = 0; done < total;) {
            if (stopped && stopped())
                return -1;
            const long n = static_cast<long>(std::min<std::uint64_t>(chunk.size(), total - done));
            if (c->stream->write(chunk.data(), n) != n)
                return -1;
            done += static_cast<std::uint64_t>(n);
        }
    }
    return c->stream->release() == 0 ? 0 : -1;
}

int image_readcmpt(image_t& image, int cmptno, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                   std::uint32_t h, std::vector<std::int32_t>& out) {
    if (cmptno < 0 || cmptno >= image.numcmpts)
        return -1;
    image_cmpnt_t& c = *image.cmpts[static_cast<size_t>(cmptno)];
    if (!rect_inside(c, x, y, w, h))
        return -1;
    out.resize(static_cast<size_t>(w) * h);
    // A row's bytes are read at once and assembled afterwards; rows as wide as the component
    // follow each other in the store and are read together (a store in a file costs a system
    // call a read).
    const std::uint32_t together = x == 0 && w == c.width_ ? std::max<std::uint32_t>(h, 1) : 1;
    std::vector<std::uint8_t> rows(static_cast<size_t>(w) * together * c.cps);
    const long rowsBytes = static_cast<long>(rows.size());
    for (std::uint32_t j = 0; j < h; ++j) {
        if (j % together == 0 && (c.stream->seek(sample_offset(c, x, y + j), SeekOrigin::Set) < 0 ||
                                  c.stream->read(rows.data(), rowsBytes) != rowsBytes))
            return -1;
        std::int32_t* dst = out.data() + static_cast<size_t>(j) * w;
        const std::uint8_t* in = rows.data() + static_cast<size_t>(j % together) * w * c.cps;
        if (c.cps == 1) {
            for (std::uint32_t i = 0; i < w; ++i)
                dst[i] = in[i];
            continue;
        }
        for (std::uint32_t i = 0; i < w; ++i) {
            std::uint32_t v = 0;
            for (int b = 0; b < c.cps; ++b)
                v = v << 8 | *in++;
            dst[i] = static_cast<std::int32_t>(v);
        }
    }
    return c.stream->release() == 0 ? 0 : -1;
}

}  // namespace j2000
