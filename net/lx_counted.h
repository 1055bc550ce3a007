// Reference counting for the socket library's objects: the socket lives as long as
// a reference to it, so that destroying the client that holds it closes the connection.
#pragma once

#include <cstdint>
#include <utility>

// Identifier of a counted interface, laid out as the platform's GUID.
struct TLxInterfaceId {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
    bool operator==(const TLxInterfaceId&) const = default;
};

// The basic reference-counting interface (IUnknown's identifier and results).
inline constexpr TLxInterfaceId kLxUnknownId = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr int32_t kLxOk = 0;
inline constexpr int32_t kLxNoInterface = static_cast<int32_t>(0x80004002u);

class ILxUnknown {
public:
    virtual int32_t QueryInterface(const TLxInterfaceId& id, void** object) = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;

protected:
    ~ILxUnknown() = default;
};

// A counted reference: takes one reference while it holds the interface.
template <class T>
class TLxRef {
public:
    TLxRef() = default;
    explicit TLxRef(T* object) : object_(object) {
        if (object_) object_->AddRef();
    }
    TLxRef(const TLxRef& other) : TLxRef(other.object_) {}
    TLxRef& operator=(const TLxRef& other) {
        TLxRef copy(other);
        std::swap(object_, copy.object_);
        return *this;
    }
    ~TLxRef() { Reset(); }
    void Reset() {
        T* held = object_;
        object_ = nullptr;
        if (held) held->Release();
    }
    T* operator->() const { return object_; }
    T* Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};
