#include <string>

#include "apal_qv3377k/descriptors.h"

namespace sdihal::nRequestDescriptors {

namespace {

const tField* fieldNamed(std::span<const tField> fields, std::string_view name) {
    for (const tField& field : fields) {
        if (name == field.name) return &field;
    }
    return nullptr;
}

template <class Match>
const tMethod* search(Match match) {
    for (auto family : {qv3377kInterfaces(), atomiczekddkInterfaces()}) {
        for (const tInterface& interface : family) {
            for (const tMethod& method : interface.methods) {
                if (match(method)) return &method;
            }
        }
    }
    return nullptr;
}

}  // namespace

const tField* tMethod::inField(std::string_view field) const {
    return fieldNamed(in, field);
}
const tField* tMethod::outField(std::string_view field) const {
    return fieldNamed(out, field);
}

const tMethod* findMethod(uint32_t code) {
    return search([code](const tMethod& method) { return method.code == code; });
}

const tMethod* findMethod(std::string_view qualifiedName) {
    return search([qualifiedName](const tMethod& method) {
        return qualifiedName == std::string(method.interface) + "." + method.name;
    });
}

}  // namespace sdihal::nRequestDescriptors
