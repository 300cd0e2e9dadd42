// A source of numeric and text device attributes. A handler that does not
// serve an id leaves `handled` false (and answers 0xFFFFFFFF for numbers).
// Text attributes: `length` (when given) receives the text's length without
// its NUL; with a buffer, the text and its NUL are copied, or -63080 thrown
// when bufferSize cannot hold them.
#pragma once

#include <cstdint>

namespace qvzek {

class IAttributeHandler {
public:
    virtual ~IAttributeHandler() = default;
    virtual uint32_t getU32Attribute(uint32_t id, bool* handled) = 0;
    virtual void getStringAttribute(uint32_t id, char* buffer, uint32_t bufferSize,
                                    uint32_t* length, bool* handled) = 0;
    virtual void setU32Attribute(uint32_t id, uint32_t value, bool* handled) = 0;
    virtual void setStringAttribute(uint32_t id, const char* value, bool* handled) = 0;
};

// The overrides of IAttributeHandler, declared alike by each handler.
#define QVZEK_ATTRIBUTE_GET_OVERRIDES                                                         \
    uint32_t getU32Attribute(uint32_t id, bool* handled) override;                            \
    void getStringAttribute(uint32_t id, char* buffer, uint32_t bufferSize, uint32_t* length, \
                            bool* handled) override;
#define QVZEK_ATTRIBUTE_SET_OVERRIDES                                          \
    void setU32Attribute(uint32_t id, uint32_t value, bool* handled) override; \
    void setStringAttribute(uint32_t id, const char* value, bool* handled) override;

// The device's FPGA target class, a text attribute.
inline constexpr uint32_t kAttributeFpgaTargetClass = 6;

}  // namespace qvzek
