// The attributes of one owner, found by id and channel name (channel names
// compare under Unicode case folding: "Ch0" and "ch0" are one key), untyped
// or as the public API view of one value type. The owner keeps the
// attributes; the registry only points at them.
#pragma once

#include <boost/container/vector.hpp>
#include <cstdint>
#include <string>

#include "atomiczekddk/attributes/Interfaces.h"

namespace atat {

// Component of the framework's raise sites.
inline constexpr const char* kAttributeComponent = "internal_sdi_hal23u";

class AttributeRegistry : public virtual iattr::DirtyableInterface {
public:
    AttributeRegistry(int32_t errorAttributeNotFound, int32_t errorWrongAttributeType,
                      int32_t errorInternalError)
        : errorAttributeNotFound_(errorAttributeNotFound),
          errorWrongAttributeType_(errorWrongAttributeType),
          errorInternalError_(errorInternalError) {}

    // A key added twice raises errorInternalError and changes nothing.
    void add(iattr::AttributeBaseInterface* attribute);
    // A null channel name is the empty one.
    iattr::AttributeBaseInterface* find(uint32_t id, const char* channelName) const;

    template <class X>
    iattr::PublicAPIAttributeInterface<X>& getAs(uint32_t id, const char* channelName) const {
        auto* view = dynamic_cast<iattr::PublicAPIAttributeInterface<X>*>(find(id, channelName));
        if (view == nullptr) throwWrongType(id, channelName);
        return *view;
    }

    void setDirty(bool dirty) override;
    bool isDirty() const override;

private:
    struct Entry {
        uint32_t id;
        std::string channelName;
        iattr::AttributeBaseInterface* attribute;
    };
    using Entries = boost::container::vector<Entry>;

    // The first entry whose key is not below (id, name), and whether it is
    // that key.
    Entries::const_iterator lowerBound(uint32_t id, const char* channelName, bool& equal) const;
    [[noreturn]] void throwWrongType(uint32_t id, const char* channelName) const;

    int32_t errorAttributeNotFound_;
    int32_t errorWrongAttributeType_;
    int32_t errorInternalError_;
    Entries entries_;
};

}  // namespace atat
