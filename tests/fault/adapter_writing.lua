-- The sweep over the adapter's writing side: FOpen for writing and
-- read-write, FWrite, FPutC, FSeek and FStat on the memory copy, and FClose,
-- which writes the archive back.
local S = require("sweep")
local T = S.T
require_plugin("zip", {installadapter = true})

local arc = T.path("arc.zip")
local text = string.rep("Twinkle, twinkle, little star.\n", 50)
T.pyzip(arc, {{"readme.txt", text}, {"docs/a.txt", "alpha"}})
local pristine = T.readfile(arc)

local function restore() T.writefile(arc, pristine) end

local declines = {"open failed", "read failed", "write failed", "putc failed", "seek failed", "stat failed",
  "close failed"}

S.scenario{
  name = "FOpen write, FWrite, FPutC, FClose",
  archives = {arc},
  password = "secret",
  setup = restore,
  errors = declines,
  run = function()
    local f <close> = S.must(host.open(arc .. "/new/w.txt", "w"), "open")
    S.must(f:write("hello world"), "write")
    S.must(f:putc(33), "putc")
    S.must(f:seek("set", 0), "seek")
    S.must(f:write("J"), "write")
    local st = S.must(f:stat(), "stat")
    S.must(f:close(), "close")
    S.checkpoint()
    local e <close> = S.must(host.open(arc .. "/docs/enc.txt", "w", {password = "secret", encryption = ZIP_EM_AES_256}),
      "open")
    S.must(e:write(text), "write")
    S.must(e:close(), "close")
    return {st.type, st.size}
  end,
}

S.scenario{
  name = "FOpen read-write, FRead, FSeek, FWrite, FClose",
  archives = {arc},
  setup = restore,
  errors = declines,
  run = function()
    local f <close> = S.must(host.open(arc .. "/README.TXT", "rw"), "open")
    local head = S.read(f, 8, "read")
    S.must(f:seek("end", 0), "seek")
    S.must(f:write("the end\n"), "write")
    S.must(f:seek("set", 0), "seek")
    local all = S.read(f, #text + 8, "read")
    S.must(f:close(), "close")
    S.checkpoint()
    local g <close> = S.must(host.open(arc .. "/docs/new.txt", "rw"), "open")
    S.must(g:write("created"), "write")
    S.must(g:close(), "close")
    return {head, #all}
  end,
}

S.finish()
