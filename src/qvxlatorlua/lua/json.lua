-- JSON for the translation scripts: a thin module over Lua CJSON with its
-- own encoder and decoder settings.
local cjson = require("cjson").new()

local json = {}

json.null = cjson.null

function json.decode(text)
  return cjson.decode(text)
end

function json.encode(value)
  return cjson.encode(value)
end

return json
