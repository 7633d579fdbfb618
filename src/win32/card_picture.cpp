#include "win32/card_picture.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace velmora::win32 {
namespace {

// No picture of a card needs more; a larger one is refused before its pixels
// are made.
constexpr UINT kMaxSide = 4096;

template <typename T>
class Com {
  public:
    Com() = default;
    ~Com() {
        if (p_) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** Out() { return &p_; }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }

  private:
    T* p_ = nullptr;
};

// COM for this call on whatever thread it runs.
class ComApartment {
  public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result_;
};

std::string Failed(const char* step, HRESULT hr) {
    char line[80];
    std::snprintf(line, sizeof line, "%s failed (0x%08lX)", step, static_cast<unsigned long>(hr));
    return line;
}

}  // namespace

std::shared_ptr<const CardPicture> DecodeCardPicture(std::string_view bytes, std::string& why) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<DWORD>::max()) {
        why = "empty answer";
        return nullptr;
    }
    const ComApartment apartment;
    Com<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out()));
    if (FAILED(hr)) {
        why = Failed("the imaging component", hr);
        return nullptr;
    }
    Com<IWICStream> stream;
    hr = factory->CreateStream(stream.Out());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                          static_cast<DWORD>(bytes.size()));
    if (FAILED(hr)) {
        why = Failed("reading the answer", hr);
        return nullptr;
    }
    Com<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                          decoder.Out());
    if (FAILED(hr)) {
        why = Failed("decoding", hr);
        return nullptr;
    }
    Com<IWICBitmapFrameDecode> frame;
    hr = decoder->GetFrame(0, frame.Out());
    UINT width = 0, height = 0;
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (FAILED(hr)) {
        why = Failed("decoding the first frame", hr);
        return nullptr;
    }
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        why = "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
        return nullptr;
    }
    Com<IWICFormatConverter> converter;
    hr = factory->CreateFormatConverter(converter.Out());
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    PixelImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.resize(static_cast<std::size_t>(width) * height);
    if (SUCCEEDED(hr))
        hr = converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                   reinterpret_cast<BYTE*>(image.pixels.data()));
    if (FAILED(hr)) {
        why = Failed("converting the pixels", hr);
        return nullptr;
    }
    // Premultiplied, so white shows through by what alpha leaves.
    for (std::uint32_t& p : image.pixels) {
        const std::uint32_t rest = 255 - (p >> 24);
        std::uint32_t out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8)
            out |= std::min<std::uint32_t>(((p >> shift) & 0xFF) + rest, 255) << shift;
        p = out;
    }
    HBITMAP bitmap = MakeBitmap(image);
    if (!bitmap) {
        why = "no bitmap could be made";
        return nullptr;
    }
    return std::make_shared<DibPicture>(bitmap, image.width, image.height);
}

}  // namespace velmora::win32
