-- JSON for the translation scripts: a thin module over Lua CJSON with its
-- own encoder and decoder settings.
local cjson = require("cjson").new()

local json = {}

json.null = cjson.null

-- A JSON null is no value at all: a member holding it is absent and an
-- array element holding it is dropped, so that optional settings written
-- as null read as missing.
local function withoutNulls(value)
  if value == cjson.null then
    return nil
  end
  if type(value) == "table" then
    if #value > 0 then
      local list = {}
      for i = 1, #value do
        list[#list + 1] = withoutNulls(value[i])
      end
      return list
    end
    for key, member in pairs(value) do
      value[key] = withoutNulls(member)
    end
  end
  return value
end

function json.decode(text)
  return withoutNulls(cjson.decode(text))
end

function json.encode(value)
  return cjson.encode(value)
end

return json
