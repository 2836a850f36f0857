#include "platform/overlay/x11_picture_slots.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define HG_TINT_AVX2 1
#endif

namespace hg {
namespace {

xcb_render_fixed_t fixed(double v)
{
    return static_cast<xcb_render_fixed_t>(std::lround(v * 65536.0));
}

#if defined(HG_TINT_AVX2)
// The tint below, 32 bytes at a time, on processors that have AVX2; the
// bytes done.
__attribute__((target("avx2"))) std::size_t tintBytesAvx2(const std::uint8_t* in, std::uint8_t* out, std::size_t n,
                                                          std::uint32_t keepFactor, const std::uint32_t* adds)
{
    const __m256i keep = _mm256_set1_epi16(static_cast<short>(keepFactor));
    const auto a = [adds](int c) { return static_cast<short>(adds[c] + 128); };
    const __m256i add = _mm256_setr_epi16(a(0), a(1), a(2), a(3), a(0), a(1), a(2), a(3), a(0), a(1), a(2), a(3), a(0),
                                          a(1), a(2), a(3));
    const __m256i zero = _mm256_setzero_si256();
    std::size_t j = 0;
    for (; j + 32 <= n; j += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + j));
        const __m256i lo = _mm256_srli_epi16(_mm256_adds_epu16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(v, zero), keep), add), 8);
        const __m256i hi = _mm256_srli_epi16(_mm256_adds_epu16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(v, zero), keep), add), 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), _mm256_packus_epi16(lo, hi));
    }
    return j;
}
#endif

// Lays the tint over `n` bytes in the server's order: out = (in * keep +
// add[channel] + 128) >> 8, at most 255.
template <typename Tint>
void tintBytes(const std::uint8_t* in, std::uint8_t* out, std::size_t n, const Tint& tint)
{
    std::size_t j = 0;
#if defined(HG_TINT_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        j = tintBytesAvx2(in, out, n, tint.keep, tint.add);
#endif
#if defined(__SSE2__)
    const __m128i keep = _mm_set1_epi16(static_cast<short>(tint.keep));
    const __m128i add = _mm_setr_epi16(static_cast<short>(tint.add[0] + 128), static_cast<short>(tint.add[1] + 128),
                                       static_cast<short>(tint.add[2] + 128), static_cast<short>(tint.add[3] + 128),
                                       static_cast<short>(tint.add[0] + 128), static_cast<short>(tint.add[1] + 128),
                                       static_cast<short>(tint.add[2] + 128), static_cast<short>(tint.add[3] + 128));
    const __m128i zero = _mm_setzero_si128();
    for (; j + 16 <= n; j += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j));
        // in * keep is at most 255 * 256; the saturating add clamps.
        const __m128i lo = _mm_srli_epi16(_mm_adds_epu16(_mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), keep), add), 8);
        const __m128i hi = _mm_srli_epi16(_mm_adds_epu16(_mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), keep), add), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; j < n; ++j)
        out[j] = static_cast<std::uint8_t>(std::min((in[j] * tint.keep + tint.add[j & 3] + 128) >> 8, 255u));
}

// Pixels to the little-endian ARGB words (BGRA bytes) XRender's fast paths
// expect, with the tint laid over them.
template <typename Tint>
void convertRow(const std::uint8_t* in, std::uint8_t* out, int width, PixelOrder order, const Tint& tint)
{
    const std::size_t bytes = static_cast<std::size_t>(width) * 4;
    const bool tinted = !(tint == Tint{});
    if (order == PixelOrder::bgra) {
        if (tinted)
            tintBytes(in, out, bytes, tint);
        else
            std::memcpy(out, in, bytes);
        return;
    }
    for (int x = 0; x < width; ++x) {
        std::uint32_t v;
        std::memcpy(&v, in + 4 * x, 4);
        v = (v & 0xff00ff00u) | ((v & 0xffu) << 16) | ((v >> 16) & 0xffu);
        std::memcpy(out + 4 * x, &v, 4);
    }
    if (tinted)
        tintBytes(out, out, bytes, tint);
}

} // namespace

X11PictureSlots::X11PictureSlots(xcb_connection_t* connection, xcb_drawable_t drawable,
                                 xcb_render_pictformat_t argbFormat, int windowWidth, int windowHeight)
    : m_c(connection), m_drawable(drawable), m_format(argbFormat), m_windowWidth(windowWidth), m_windowHeight(windowHeight)
{
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(m_c, &xcb_shm_id);
    m_shm = shm && shm->present;
    if (!m_shm)
        return;
    std::unique_ptr<xcb_shm_query_version_reply_t, decltype(&std::free)> version(
        xcb_shm_query_version_reply(m_c, xcb_shm_query_version(m_c), nullptr), &std::free);
    m_sharedPixmaps = version && version->shared_pixmaps && version->pixmap_format == XCB_IMAGE_FORMAT_Z_PIXMAP;
}

X11PictureSlots::~X11PictureSlots()
{
    for (Slot& slot : m_slots)
        release(slot);
}

xcb_render_picture_t X11PictureSlots::pictureOf(int index) const
{
    return index < 0 ? XCB_NONE : m_slots[static_cast<std::size_t>(index)].picture;
}

void X11PictureSlots::markRead()
{
    // The fence follows the latest requests; the one before is not waited for.
    if (m_fence)
        xcb_discard_reply(m_c, m_fence->sequence);
    m_fence = xcb_get_input_focus(m_c);
}

void X11PictureSlots::waitForServer()
{
    if (m_fence)
        std::free(xcb_get_input_focus_reply(m_c, *m_fence, nullptr));
    m_fence.reset();
}

bool X11PictureSlots::attachShm(Slot& slot, std::size_t bytes)
{
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* data = shmat(id, nullptr, 0);
    if (data == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    slot.seg = xcb_generate_id(m_c);
    xcb_generic_error_t* error =
        xcb_request_check(m_c, xcb_shm_attach_checked(m_c, slot.seg, static_cast<std::uint32_t>(id), 0));
    shmctl(id, IPC_RMID, nullptr);  // freed once both sides have detached
    if (error) {
        std::free(error);
        shmdt(data);
        slot.seg = XCB_NONE;
        m_shm = false;  // a server on another machine
        return false;
    }
    slot.data = static_cast<std::uint8_t*>(data);
    slot.size = bytes;
    return true;
}

bool X11PictureSlots::prepare(Slot& slot, int width, int height)
{
    if (slot.picture != XCB_NONE && slot.width == width && slot.height == height)
        return true;
    release(slot);
    if (width > 32767 || height > 32767)
        return false;
    const auto w = static_cast<std::uint16_t>(width);
    const auto h = static_cast<std::uint16_t>(height);
    const std::size_t bytes = static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
    slot.pixmap = xcb_generate_id(m_c);
    if (m_shm && attachShm(slot, bytes) && m_sharedPixmaps) {
        xcb_shm_create_pixmap(m_c, slot.pixmap, m_drawable, w, h, 32, slot.seg, 0);
        slot.sharedPixmap = true;
    } else {
        xcb_create_pixmap(m_c, 32, slot.pixmap, m_drawable, w, h);
        slot.gc = xcb_generate_id(m_c);
        xcb_create_gc(m_c, slot.gc, slot.pixmap, 0, nullptr);
    }
    slot.picture = xcb_generate_id(m_c);
    const std::uint32_t repeat = XCB_RENDER_REPEAT_PAD;  // no dark rim where the stretch samples past the edge
    xcb_render_create_picture(m_c, slot.picture, slot.pixmap, m_format, XCB_RENDER_CP_REPEAT, &repeat);
    if (width != m_windowWidth || height != m_windowHeight) {
        // Window pixels map to picture pixels by a scale alone. A picture of
        // the window's size keeps no transform and no filter: the server then
        // copies it.
        static constexpr char kFilter[] = "bilinear";
        xcb_render_set_picture_filter(m_c, slot.picture, sizeof kFilter - 1, kFilter, 0, nullptr);
        xcb_render_transform_t t{};
        t.matrix11 = fixed(static_cast<double>(width) / m_windowWidth);
        t.matrix22 = fixed(static_cast<double>(height) / m_windowHeight);
        t.matrix33 = fixed(1);
        xcb_render_set_picture_transform(m_c, slot.picture, t);
    }
    slot.width = width;
    slot.height = height;
    return true;
}

void X11PictureSlots::release(Slot& slot)
{
    if (slot.picture != XCB_NONE)
        xcb_render_free_picture(m_c, slot.picture);
    if (slot.gc != XCB_NONE)
        xcb_free_gc(m_c, slot.gc);
    if (slot.pixmap != XCB_NONE)
        xcb_free_pixmap(m_c, slot.pixmap);
    if (slot.data) {
        waitForServer();
        xcb_shm_detach(m_c, slot.seg);
        shmdt(slot.data);
    }
    slot = Slot{};
}

bool X11PictureSlots::push(const RgbaImage& image)
{
    if (!image.isValid())
        return false;
    const int target = m_current == 0 ? 1 : 0;
    Slot& slot = m_slots[static_cast<std::size_t>(target)];
    if (!prepare(slot, image.width, image.height))
        return false;
    slot.source = image;
    slot.stale = true;
    m_previous = m_current;
    m_current = target;
    return true;
}

bool X11PictureSlots::hasStale() const
{
    for (int index : {m_previous, m_current})
        if (index >= 0 && m_slots[static_cast<std::size_t>(index)].stale)
            return true;
    return false;
}

void X11PictureSlots::upload(const std::vector<xcb_rectangle_t>& currentAreas)
{
    for (int index : {m_previous, m_current})
        if (index >= 0 && m_slots[static_cast<std::size_t>(index)].stale)
            upload(m_slots[static_cast<std::size_t>(index)], index == m_current ? currentAreas : std::vector<xcb_rectangle_t>{});
}

void X11PictureSlots::drop()
{
    m_current = m_previous = -1;
    for (Slot& slot : m_slots)
        slot.source = {};
}

void X11PictureSlots::setTint(Color color, double opacity)
{
    // XRender's OVER of a premultiplied colour: out = tint + (1 - a) in.
    const double a = std::clamp(color.alpha * opacity, 0.0, 1.0);
    Tint tint;
    tint.keep = static_cast<std::uint32_t>(std::lround((1 - a) * 256));
    const auto premultiplied = [a](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * a * 255 * 256));
    };
    tint.add[0] = premultiplied(color.blue);
    tint.add[1] = premultiplied(color.green);
    tint.add[2] = premultiplied(color.red);
    tint.add[3] = static_cast<std::uint32_t>(std::lround(a * 255 * 256));
    if (tint == m_tint)
        return;
    m_tint = tint;
    for (int index : {m_previous, m_current})
        if (index >= 0 && m_slots[static_cast<std::size_t>(index)].source.isValid())
            m_slots[static_cast<std::size_t>(index)].stale = true;
}

void X11PictureSlots::upload(Slot& slot, const std::vector<xcb_rectangle_t>& areas)
{
    waitForServer();  // the server may still read the slot we are about to fill
    slot.stale = false;
    slot.drawnOn = false;
    const std::size_t rowBytes = static_cast<std::size_t>(slot.width) * 4;
    const auto w = static_cast<std::uint16_t>(slot.width);
    const auto h = static_cast<std::uint16_t>(slot.height);
    const xcb_rectangle_t all{0, 0, w, h};
    if (slot.sharedPixmap) {
        // Written in place, so only where asked; elsewhere the caller clears it.
        for (const xcb_rectangle_t& r : areas.empty() ? std::vector<xcb_rectangle_t>{all} : areas)
            convert(slot, r, slot.data + rowBytes * static_cast<std::size_t>(r.y) + 4 * static_cast<std::size_t>(r.x), rowBytes);
        markRead();
        return;
    }
    // Whole, so that the segment or the image can put any part back later.
    std::vector<std::uint8_t> staging;
    std::uint8_t* out = slot.data;
    if (!out) {
        staging.resize(rowBytes * static_cast<std::size_t>(slot.height));
        out = staging.data();
    }
    convert(slot, all, out, rowBytes);
    if (!slot.data)
        putWithoutShm(slot, out, rowBytes, all);
    else
        xcb_shm_put_image(m_c, slot.pixmap, slot.gc, w, h, 0, 0, w, h, 0, 0, 32, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, slot.seg, 0);
    markRead();
}

xcb_pixmap_t X11PictureSlots::currentPixmapOfWindowSize() const
{
    if (m_current < 0)
        return XCB_NONE;
    const Slot& slot = m_slots[static_cast<std::size_t>(m_current)];
    return slot.width == m_windowWidth && slot.height == m_windowHeight ? slot.pixmap : XCB_NONE;
}

bool X11PictureSlots::currentAsUploaded() const
{
    return m_current >= 0 && !m_slots[static_cast<std::size_t>(m_current)].drawnOn;
}

void X11PictureSlots::setCurrentDrawnOn()
{
    if (m_current >= 0)
        m_slots[static_cast<std::size_t>(m_current)].drawnOn = true;
}

void X11PictureSlots::restoreCurrent(const xcb_rectangle_t& area)
{
    if (m_current < 0)
        return;
    Slot& slot = m_slots[static_cast<std::size_t>(m_current)];
    const int x0 = std::max<int>(0, area.x), y0 = std::max<int>(0, area.y);
    const int x1 = std::min(slot.width, area.x + area.width), y1 = std::min(slot.height, area.y + area.height);
    if (!slot.source.isValid() || x0 >= x1 || y0 >= y1)
        return;
    const xcb_rectangle_t r{static_cast<std::int16_t>(x0), static_cast<std::int16_t>(y0),
                            static_cast<std::uint16_t>(x1 - x0), static_cast<std::uint16_t>(y1 - y0)};
    const std::size_t rowBytes = static_cast<std::size_t>(slot.width) * 4;
    if (slot.sharedPixmap) {
        // The pixmap is the segment: the server must be done with what was
        // asked of it, or a pending repaint could show the pixels half put back.
        waitForServer();
        convert(slot, r, slot.data + rowBytes * static_cast<std::size_t>(r.y) + 4 * static_cast<std::size_t>(r.x), rowBytes);
    } else if (slot.data) {
        // The segment still holds the upload.
        xcb_shm_put_image(m_c, slot.pixmap, slot.gc, static_cast<std::uint16_t>(slot.width),
                          static_cast<std::uint16_t>(slot.height), static_cast<std::uint16_t>(r.x),
                          static_cast<std::uint16_t>(r.y), r.width, r.height, r.x, r.y, 32, XCB_IMAGE_FORMAT_Z_PIXMAP,
                          0, slot.seg, 0);
    } else {
        const std::size_t stride = static_cast<std::size_t>(r.width) * 4;
        std::vector<std::uint8_t> staging(stride * r.height);
        convert(slot, r, staging.data(), stride);
        putWithoutShm(slot, staging.data(), stride, r);
    }
}

void X11PictureSlots::convert(const Slot& slot, const xcb_rectangle_t& area, std::uint8_t* out, std::size_t stride) const
{
    const RgbaImage& image = slot.source;
    for (int y = 0; y < area.height; ++y)
        convertRow(image.pixels->data() + image.stride * static_cast<std::size_t>(area.y + y) + 4 * static_cast<std::size_t>(area.x),
                   out + stride * static_cast<std::size_t>(y), area.width, image.order, m_tint);
}

void X11PictureSlots::putWithoutShm(Slot& slot, const std::uint8_t* data, std::size_t stride, const xcb_rectangle_t& area)
{
    // Bands of rows that fit in one request, with room for its header.
    const std::size_t limit = static_cast<std::size_t>(xcb_get_maximum_request_length(m_c)) * 4 - 64;
    const int rows = std::max(1, static_cast<int>(limit / stride));
    for (int y = 0; y < area.height; y += rows) {
        const int n = std::min(rows, area.height - y);
        xcb_put_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, slot.pixmap, slot.gc, area.width, static_cast<std::uint16_t>(n),
                      area.x, static_cast<std::int16_t>(area.y + y), 0, 32,
                      static_cast<std::uint32_t>(stride * static_cast<std::size_t>(n)),
                      data + stride * static_cast<std::size_t>(y));
    }
}

} // namespace hg
