-- Attribute table used when no driver-specific one exists: it names no
-- attribute, so identifiers are shown as numbers.
local defaultAttrTable = {}

defaultAttrTable.encoding = "utf-8"

function defaultAttrTable.getAttribute(attrID)
  return nil
end

return defaultAttrTable
