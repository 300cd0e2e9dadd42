// The VISA status codes the PXI plug-in returns (ViStatus): 0 success,
// 0xBFFFxxxx errors, 0x3FFFxxxx warnings.
#pragma once

#include <cstdint>

namespace visapxipluginapalcodegen {

using ViStatus = int32_t;

inline constexpr ViStatus kViSuccess = 0;
inline constexpr ViStatus kViErrorSystem = static_cast<ViStatus>(0xBFFF0000u);
inline constexpr ViStatus kViErrorInvalidObject = static_cast<ViStatus>(0xBFFF000Eu);
inline constexpr ViStatus kViErrorResourceNotFound = static_cast<ViStatus>(0xBFFF0011u);
inline constexpr ViStatus kViErrorAttributeNotSupported = static_cast<ViStatus>(0xBFFF001Du);
inline constexpr ViStatus kViErrorNotInitialized = static_cast<ViStatus>(0xBFFF003Au);
inline constexpr ViStatus kViErrorOutOfMemory = static_cast<ViStatus>(0xBFFF003Cu);
inline constexpr ViStatus kViErrorInvalidSpace = static_cast<ViStatus>(0xBFFF004Eu);
inline constexpr ViStatus kViErrorInvalidPointer = static_cast<ViStatus>(0xBFFF0071u);
inline constexpr ViStatus kViErrorInvalidParameter = static_cast<ViStatus>(0xBFFF0078u);
inline constexpr ViStatus kViErrorNotSupported = static_cast<ViStatus>(0xBFFF0081u);
inline constexpr ViStatus kViErrorInvalidSize = static_cast<ViStatus>(0xBFFF0083u);
inline constexpr ViStatus kViWarningNullObject = static_cast<ViStatus>(0x3FFF0082u);

// Attributes the plug-in answers.
inline constexpr uint32_t kAttributeZeroA = 0x3FFF001Eu;
inline constexpr uint32_t kAttributeZeroB = 0x3FFF0246u;
inline constexpr uint32_t kAttributeVendorId = 0x3FFF00D9u;
inline constexpr uint32_t kAttributeModelCode = 0x3FFF00DFu;
inline constexpr uint32_t kAttributeManufacturerName = 0xBFFF0072u;
inline constexpr uint32_t kAttributeModelName = 0xBFFF0077u;

inline constexpr const char* kComponent = "qvvisa_pxi_plugin_apal_codegen";

}  // namespace visapxipluginapalcodegen
