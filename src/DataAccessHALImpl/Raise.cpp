#include "DataAccessHALImpl/Raise.h"

#include <utility>

#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/qvmxl.h"

namespace dataaccesshal {

void raise(int32_t code, const qverr::SourceLocation& location, const char* key, const char* text,
           std::initializer_list<Record> records) {
    qverr::Status status;
    if (status.setCode(code, location)) {
        if (key != nullptr) qverr::DetailWriter(status).add(key, text);
        qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
        for (const Record& record : records) {
            switch (record.kind) {
                case Record::elaboration:
                    writer = qvmxl::writeElaboration(writer, record.text);
                    break;
                case Record::empty:
                    writer = qvmxl::writeEmpty(writer);
                    break;
                case Record::requestedValue:
                    writer = qvmxl::writeUsageParam(
                        writer,
                        qvmxl::UsageParam<uint32_t>{"kUsageTypeRequestedValue", record.value});
                    break;
            }
        }
    }
    qverr::throwStatus(std::move(status));
}

}  // namespace dataaccesshal
