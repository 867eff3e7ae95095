-- Account-set template for the PostgreSQL engine: the schema and procedures of one account set.
-- Run once, as one transaction, in each new account-set database (the engine's "restore").
--
-- The procedures behave exactly as the embedded engine's:
--   - text is compared by its bytes (COLLATE "C"); blanks are what Qt counts as white space;
--   - quantities and amounts are exact (numeric), at most 12 integer and 6 fraction digits;
--   - an empty filter is no restriction; product and outlet names and the place of origin match
--     by containment, the product code by equality, @ID by the outlet number's integer value;
--   - row orders: outlets by their number as an integer (other forms last), then the number text;
--     sales lines by date, outlet, import order; stock lines by outlet, product code, import order.
-- Procedure arguments are quoted names ("ID" is the parameter @ID); table columns are lower-case,
-- so arguments and columns never shadow each other.

-- ---- helpers -------------------------------------------------------------------------------

-- Removes white space at both ends as QString::trimmed does (ASCII controls, Unicode spaces).
CREATE FUNCTION hz_util_trim(s text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE
AS $$
    SELECT btrim(s, E' \t\n\u000B\f\r\u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200A\u2028\u2029\u202F\u205F\u3000')
$$;

-- The checks below are single SQL expressions, so that PostgreSQL inlines them into the queries
-- that use them: they run once per imported line. (Capturing groups are avoided too: they make
-- PostgreSQL's regular expressions many times slower.)

-- y, m, d as a date when they name a real day; NULL otherwise.
CREATE FUNCTION hz_util_ymd(y integer, m integer, d integer) RETURNS date
LANGUAGE sql IMMUTABLE PARALLEL SAFE
AS $$
    SELECT CASE WHEN y < 1 OR m < 1 OR m > 12 OR d < 1 THEN NULL
                WHEN d > CASE WHEN m IN (4, 6, 9, 11) THEN 30
                              WHEN m <> 2 THEN 31
                              WHEN y % 4 = 0 AND (y % 100 <> 0 OR y % 400 = 0) THEN 29
                              ELSE 28 END THEN NULL
                ELSE make_date(y, m, d) END
$$;

CREATE FUNCTION hz_util_date_of(t text) RETURNS date
LANGUAGE sql IMMUTABLE PARALLEL SAFE
AS $$
    SELECT CASE
        WHEN t ~ '^[0-9]{8}$' THEN
            hz_util_ymd(substr(t, 1, 4)::integer, substr(t, 5, 2)::integer, substr(t, 7, 2)::integer)
        WHEN t ~ '^[0-9]{4}-[0-9]{1,2}-[0-9]{1,2}$' THEN
            hz_util_ymd(split_part(t, '-', 1)::integer, split_part(t, '-', 2)::integer, split_part(t, '-', 3)::integer)
        WHEN t ~ '^[0-9]{4}/[0-9]{1,2}/[0-9]{1,2}$' THEN
            hz_util_ymd(split_part(t, '/', 1)::integer, split_part(t, '/', 2)::integer, split_part(t, '/', 3)::integer)
    END
$$;

-- "yyyy-mm-dd", "yyyy/mm/dd" (month and day may have one digit) or "yyyymmdd" naming a real day;
-- NULL otherwise.
CREATE FUNCTION hz_util_date(s text) RETURNS date
LANGUAGE sql IMMUTABLE PARALLEL SAFE
AS $$
    SELECT hz_util_date_of(hz_util_trim(s))
$$;

CREATE FUNCTION hz_util_decimal_of(t text) RETURNS numeric
LANGUAGE sql IMMUTABLE PARALLEL SAFE
AS $$
    -- nested, since the parts of AND are not evaluated in a fixed order
    SELECT CASE WHEN t ~ '^[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)$' THEN
        CASE WHEN abs(t::numeric) < 1e12 AND t::numeric = trunc(t::numeric, 6) THEN t::numeric END
    END
$$;

-- "[+-]digits[.digits]" (also ".5", "5.") with at most 12 integer digits and 6 significant fraction
-- digits; NULL otherwise (nothing is rounded).
CREATE FUNCTION hz_util_decimal(s text) RETURNS numeric
LANGUAGE sql IMMUTABLE PARALLEL SAFE
AS $$
    SELECT hz_util_decimal_of(hz_util_trim(s))
$$;

-- The integer value of an outlet number (optional sign, digits, within 64 bits); NULL otherwise.
CREATE FUNCTION hz_util_outletnum(k text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE
AS $$
    SELECT CASE WHEN k ~ '^[+-]?[0-9]{1,30}$'
                 AND k::numeric BETWEEN -9223372036854775808 AND 9223372036854775807
           THEN k::numeric::bigint END
$$;

-- A rowset procedure's return value (read by the engine after the rows).
CREATE FUNCTION hz_util_return(v integer) RETURNS void
LANGUAGE sql
AS $$
    SELECT set_config('corvanta.return_value', v::text, false)
$$;

-- This session's staging tables: temporary, so two clerks importing at the same time never see
-- or clear each other's lines. No key and no index: lines keep the order in which they were
-- staged (the table is only ever appended to and emptied with TRUNCATE), and each is read once.
CREATE FUNCTION hz_util_staging() RETURNS void
LANGUAGE plpgsql
AS $$
BEGIN
    IF to_regclass('pg_temp.hz_stage_sales') IS NULL THEN
        CREATE TEMP TABLE hz_stage_sales (
            id text COLLATE "C" NOT NULL,
            usercode text COLLATE "C", ptypename text COLLATE "C", standard text COLLATE "C",
            type text COLLATE "C", unit text COLLATE "C", area text COLLATE "C",
            saledate date NOT NULL,
            qty numeric NOT NULL, total numeric NOT NULL, costtotal numeric NOT NULL,
            vchtype integer NOT NULL CHECK (vchtype IN (11, 45)));
    END IF;
    IF to_regclass('pg_temp.hz_stage_stock') IS NULL THEN
        CREATE TEMP TABLE hz_stage_stock (
            id text COLLATE "C" NOT NULL,
            usercode text COLLATE "C", ptypename text COLLATE "C", standard text COLLATE "C",
            type text COLLATE "C", unit text COLLATE "C", area text COLLATE "C",
            kcqty numeric NOT NULL, kctotal numeric NOT NULL);
    END IF;
END
$$;

-- A bulk intake: the engine checks each line by the rules of hz_InsertSales / hz_InsertStock,
-- answers for it, and copies the lines it took, already converted, straight into the staging
-- tables (COPY, binary); the outlets are checked again when the stream ends and once more, under
-- their locks, by the consolidation.
CREATE FUNCTION hz_util_copy_intake() RETURNS void
LANGUAGE sql
AS $$
    SELECT hz_util_staging()
$$;

-- A direct intake: the engine copies the lines straight into sales and stock inside one
-- transaction that stays open until the consolidation, which then only removes the lines they
-- replace; whatever else comes first moves them back into the staging (the transaction's own
-- lines are those whose xmin is its id). The engine takes this path only while the staging is
-- empty; the keys are the outlet days (sales) and outlets (stock) that the intake wrote.
CREATE FUNCTION hz_util_direct_intake() RETURNS boolean
LANGUAGE plpgsql
AS $$
BEGIN
    PERFORM hz_util_staging();
    RETURN NOT EXISTS (SELECT 1 FROM pg_temp.hz_stage_sales) AND NOT EXISTS (SELECT 1 FROM pg_temp.hz_stage_stock);
END
$$;

-- Moves this transaction's lines of the given keys into the staging, in import order.
CREATE FUNCTION hz_util_direct_stage(ids text[], dates date[], stockids text[]) RETURNS void
LANGUAGE plpgsql
AS $$
DECLARE
    me xid := pg_current_xact_id()::xid;
BEGIN
    PERFORM hz_util_staging();
    IF cardinality(ids) > 0 THEN
        WITH moved AS (
            DELETE FROM sales s USING unnest(ids, dates) AS n(id, saledate)
            WHERE s.id = n.id AND s.saledate = n.saledate AND s.xmin = me
            RETURNING s.*)
        INSERT INTO pg_temp.hz_stage_sales (id, usercode, ptypename, standard, type, unit, area,
                                            saledate, qty, total, costtotal, vchtype)
        SELECT id, usercode, ptypename, standard, type, unit, area, saledate, qty, total, costtotal, vchtype
        FROM moved ORDER BY seq;
    END IF;
    IF cardinality(stockids) > 0 THEN
        WITH moved AS (
            DELETE FROM stock s WHERE s.id = ANY (stockids) AND s.xmin = me RETURNING s.*)
        INSERT INTO pg_temp.hz_stage_stock (id, usercode, ptypename, standard, type, unit, area, kcqty, kctotal)
        SELECT id, usercode, ptypename, standard, type, unit, area, kcqty, kctotal FROM moved ORDER BY seq;
    END IF;
END
$$;

-- hz_AddStock for a direct intake: as hz_util_direct_add_sales, by outlet.
CREATE FUNCTION hz_util_direct_add_stock(ids text[]) RETURNS integer
LANGUAGE plpgsql
AS $$
BEGIN
    IF coalesce(cardinality(ids), 0) = 0 THEN
        RETURN 0;
    END IF;
    IF NOT hz_util_lock_known_outlets(ids) THEN
        RETURN -1;
    END IF;
    DELETE FROM stock s WHERE s.id = ANY (ids) AND s.xmin <> pg_current_xact_id()::xid;
    RETURN 0;
END
$$;

-- Consolidation and outlet deletion of one outlet never run at the same time.
CREATE FUNCTION hz_util_lock_outlet(k text) RETURNS void
LANGUAGE sql
AS $$
    SELECT pg_advisory_xact_lock(7235110, hashtext(k))
$$;

-- ---- tables --------------------------------------------------------------------------------

-- id as typed; idkey = id without surrounding blanks (the key); idnum its integer value, if any.
CREATE TABLE outlets (
    idkey text COLLATE "C" PRIMARY KEY,
    id text COLLATE "C" NOT NULL,
    idnum bigint,
    agentname text COLLATE "C", agenttype text COLLATE "C", telephone text COLLATE "C",
    fax text COLLATE "C", address text COLLATE "C", linkman text COLLATE "C");
CREATE INDEX outlets_idnum ON outlets (idnum);

-- id = outlets.idkey; seq keeps the import order (only ever sorted on, so it has no index). Each
-- session takes its numbers in blocks (CACHE): an import then does not visit the sequence for
-- every line, and one session's lines still follow each other in order.
CREATE TABLE sales (
    seq bigint GENERATED ALWAYS AS IDENTITY (CACHE 1000),
    id text COLLATE "C" NOT NULL,
    usercode text COLLATE "C", ptypename text COLLATE "C", standard text COLLATE "C",
    type text COLLATE "C", unit text COLLATE "C", area text COLLATE "C",
    saledate date NOT NULL,
    qty numeric NOT NULL, total numeric NOT NULL, costtotal numeric NOT NULL,
    vchtype integer NOT NULL);
-- A block-range index only: a b-tree would make each imported line several times dearer. Lines
-- lie in import order, so the block ranges of one import hold its period and mostly one outlet;
-- the statistics' date ranges and the re-imports' outlet days skip the other imports' blocks.
CREATE INDEX sales_brin ON sales USING brin (saledate, id);

CREATE TABLE stock (
    seq bigint GENERATED ALWAYS AS IDENTITY (CACHE 1000),
    id text COLLATE "C" NOT NULL,
    usercode text COLLATE "C", ptypename text COLLATE "C", standard text COLLATE "C",
    type text COLLATE "C", unit text COLLATE "C", area text COLLATE "C",
    kcqty numeric NOT NULL, kctotal numeric NOT NULL);
-- One import writes one outlet's stock lines together (see sales_brin).
CREATE INDEX stock_brin ON stock USING brin (id);

CREATE TABLE colconfig (
    gridid text COLLATE "C" NOT NULL,
    userid text COLLATE "C" NOT NULL DEFAULT '',
    ordercode bigint NOT NULL,
    colorder bigint,
    defaultname text COLLATE "C", username text COLLATE "C",
    visible bigint, sysvisible bigint, width bigint,
    PRIMARY KEY (gridid, userid, ordercode));

-- ---- outlets -------------------------------------------------------------------------------

CREATE FUNCTION hz_GetNet()
RETURNS TABLE ("ID" text, "AGENTNAME" text, "AGENTTYPE" text, "TELEPHONE" text, "FAX" text,
               "LINKMAN" text, "ADDRESS" text)
LANGUAGE sql STABLE
AS $$
    SELECT id, agentname, agenttype, telephone, fax, linkman, address FROM outlets
    ORDER BY idnum IS NULL, idnum, idkey
$$;

-- The stored key of the outlet a typed number names (0101 and +101 name outlet 101), or null.
CREATE FUNCTION hz_util_stored_outlet(k text) RETURNS text
LANGUAGE sql STABLE
AS $$
    SELECT idkey FROM outlets
    WHERE idkey = k OR idnum = hz_util_outletnum(k)
    ORDER BY idkey = k DESC LIMIT 1
$$;

CREATE FUNCTION hz_InsertNet("ID" text, "AGENTNAME" text, "AGENTTYPE" text, "TELEPHONE" text,
                             "FAX" text, "ADDRESS" text, "LINKMAN" text)
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    k text := coalesce(hz_util_trim("ID"), '');
BEGIN
    IF k = '' OR coalesce(hz_util_trim("AGENTNAME"), '') = '' THEN
        RETURN -1;
    END IF;
    -- 0101 and +101 name outlet 101: one number, one outlet (the lock orders concurrent adds).
    PERFORM hz_util_lock_outlet(coalesce(hz_util_outletnum(k)::text, k));
    IF hz_util_stored_outlet(k) IS NOT NULL THEN
        RETURN -2;
    END IF;
    INSERT INTO outlets (idkey, id, idnum, agentname, agenttype, telephone, fax, address, linkman)
    VALUES (k, coalesce("ID", ''), hz_util_outletnum(k), coalesce("AGENTNAME", ''),
            coalesce("AGENTTYPE", ''), coalesce("TELEPHONE", ''), coalesce("FAX", ''),
            coalesce("ADDRESS", ''), coalesce("LINKMAN", ''))
    ON CONFLICT (idkey) DO NOTHING;
    IF NOT FOUND THEN
        RETURN -2;
    END IF;
    RETURN 0;
END
$$;

-- The outlet number itself never changes; -1 when the outlet no longer exists.
CREATE FUNCTION hz_ModiNet("ID" text, "AGENTNAME" text, "AGENTTYPE" text, "TELEPHONE" text,
                           "FAX" text, "ADDRESS" text, "LINKMAN" text)
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    k text := coalesce(hz_util_trim("ID"), '');
BEGIN
    IF k = '' OR coalesce(hz_util_trim("AGENTNAME"), '') = '' THEN
        RETURN -1;
    END IF;
    k := coalesce(hz_util_stored_outlet(k), k);
    UPDATE outlets SET agentname = coalesce("AGENTNAME", ''), agenttype = coalesce("AGENTTYPE", ''),
                       telephone = coalesce("TELEPHONE", ''), fax = coalesce("FAX", ''),
                       address = coalesce("ADDRESS", ''), linkman = coalesce("LINKMAN", '')
    WHERE idkey = k;
    IF NOT FOUND THEN
        RETURN -1;
    END IF;
    RETURN 0;
END
$$;

-- -1 while sales or stock lines refer to the outlet: deleting it would orphan them; -2 when
-- there is no such outlet.
CREATE FUNCTION hz_deleteNet("ID" text)
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    k text := hz_util_stored_outlet(coalesce(hz_util_trim("ID"), ''));
BEGIN
    IF k IS NULL THEN
        RETURN -2;
    END IF;
    PERFORM hz_util_lock_outlet(k);
    IF EXISTS (SELECT 1 FROM sales WHERE id = k) OR EXISTS (SELECT 1 FROM stock WHERE id = k) THEN
        RETURN -1;
    END IF;
    DELETE FROM outlets WHERE idkey = k;
    RETURN 0;
END
$$;

-- ---- import --------------------------------------------------------------------------------

CREATE FUNCTION hz_deleSales()
RETURNS integer
LANGUAGE plpgsql
AS $$
BEGIN
    PERFORM hz_util_staging();
    TRUNCATE pg_temp.hz_stage_sales, pg_temp.hz_stage_stock;
    RETURN 0;
END
$$;

-- -2: the outlet is not in the outlet list; -1: a date, number or document type that is not valid.
CREATE FUNCTION hz_InsertSales("USERCODE" text, "PTYPENAME" text, "STANDARD" text, "TYPE" text,
                               "UNIT" text, "AREA" text, "DATE" text, "QTY" text, "TOTAL" text,
                               "COSTTOTAL" text, "VCHTYPE" text, "ID" text)
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    k text := coalesce(hz_util_trim("ID"), '');
    d date;
    q numeric;
    t numeric;
    c numeric;
    v text := hz_util_trim("VCHTYPE");
BEGIN
    PERFORM hz_util_staging();
    IF NOT EXISTS (SELECT 1 FROM outlets WHERE idkey = k) THEN
        RETURN -2;
    END IF;
    d := hz_util_date("DATE");
    q := hz_util_decimal("QTY");
    t := hz_util_decimal("TOTAL");
    c := hz_util_decimal("COSTTOTAL");
    IF d IS NULL OR q IS NULL OR t IS NULL OR c IS NULL OR v IS NULL OR v NOT IN ('11', '45') THEN
        RETURN -1;
    END IF;
    INSERT INTO pg_temp.hz_stage_sales (id, usercode, ptypename, standard, type, unit, area,
                                        saledate, qty, total, costtotal, vchtype)
    VALUES (k, coalesce(hz_util_trim("USERCODE"), ''), coalesce("PTYPENAME", ''),
            coalesce("STANDARD", ''), coalesce("TYPE", ''), coalesce("UNIT", ''),
            coalesce("AREA", ''), d, q, t, c, v::integer);
    RETURN 0;
END
$$;

CREATE FUNCTION hz_InsertStock("USERCODE" text, "PTYPENAME" text, "STANDARD" text, "TYPE" text,
                               "UNIT" text, "AREA" text, "KCQTY" text, "KCTOTAL" text, "ID" text)
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    k text := coalesce(hz_util_trim("ID"), '');
    q numeric;
    t numeric;
BEGIN
    PERFORM hz_util_staging();
    IF NOT EXISTS (SELECT 1 FROM outlets WHERE idkey = k) THEN
        RETURN -2;
    END IF;
    q := hz_util_decimal("KCQTY");
    t := hz_util_decimal("KCTOTAL");
    IF q IS NULL OR t IS NULL THEN
        RETURN -1;
    END IF;
    INSERT INTO pg_temp.hz_stage_stock (id, usercode, ptypename, standard, type, unit, area,
                                        kcqty, kctotal)
    VALUES (k, coalesce(hz_util_trim("USERCODE"), ''), coalesce("PTYPENAME", ''),
            coalesce("STANDARD", ''), coalesce("TYPE", ''), coalesce("UNIT", ''),
            coalesce("AREA", ''), q, t);
    RETURN 0;
END
$$;

-- One transaction: the staged lines replace all stock lines of their outlets; -1 as for hz_AddSales.
CREATE FUNCTION hz_AddStock()
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    ids text[];
BEGIN
    PERFORM hz_util_staging();
    SELECT array_agg(p.id ORDER BY p.id) INTO ids FROM (SELECT DISTINCT id FROM pg_temp.hz_stage_stock) p;
    IF ids IS NULL THEN
        RETURN 0;
    END IF;
    PERFORM hz_util_lock_outlet(k) FROM unnest(ids) k;
    IF EXISTS (SELECT 1 FROM unnest(ids) k WHERE NOT EXISTS (SELECT 1 FROM outlets o WHERE o.idkey = k)) THEN
        RETURN -1;
    END IF;
    DELETE FROM stock WHERE id = ANY (ids);
    INSERT INTO stock (id, usercode, ptypename, standard, type, unit, area, kcqty, kctotal)
    SELECT id, usercode, ptypename, standard, type, unit, area, kcqty, kctotal
    FROM pg_temp.hz_stage_stock;
    TRUNCATE pg_temp.hz_stage_stock;
    RETURN 0;
END
$$;

-- ---- queries -------------------------------------------------------------------------------

-- Row types of the procedures whose result fields share names with their arguments.
CREATE TYPE hz_sales_row AS (
    "USERCODE" text, "PTYPENAME" text, "ID" text, "AGENTNAME" text, "STANDARD" text, "TYPE" text,
    "UNIT" text, "AREA" text, "DATE" text, "QTY" numeric, "TOTAL" numeric, "COSTTOTAL" numeric,
    "VCHTYPE" integer);
CREATE TYPE hz_stock_row AS (
    "USERCODE" text, "PTYPENAME" text, "ID" text, "AGENTNAME" text, "STANDARD" text, "TYPE" text,
    "UNIT" text, "AREA" text, "KCQTY" numeric, "KCTOTAL" numeric);
CREATE TYPE hz_colconfig_row AS (
    "ID" text, "OrderCode" bigint, "ColOrder" bigint, "DefaultName" text, "UserName" text,
    "Visible" bigint, "SysVisible" bigint, "Width" bigint, "UserID" text);

-- The WHERE clause of the sales and stock queries, built from fixed pieces. The values travel as
-- the bound parameters $1 date1, $2 date2, $3 product code, $4 product name, $5 outlet number,
-- $6 outlet name, $7 document type, $8 place of origin (all trimmed, empty ones NULL).
CREATE FUNCTION hz_util_where(date1 date, date2 date, code text, pname text, outlet bigint,
                              oname text, vch bigint, area text)
RETURNS text
LANGUAGE plpgsql IMMUTABLE
AS $$
DECLARE
    w text[] := '{}';
BEGIN
    IF date1 IS NOT NULL THEN w := w || 's.saledate >= $1'::text; END IF;
    IF date2 IS NOT NULL THEN w := w || 's.saledate <= $2'::text; END IF;
    IF code IS NOT NULL THEN w := w || 's.usercode = $3'::text; END IF;
    IF pname IS NOT NULL THEN w := w || 'strpos(s.ptypename, $4) > 0'::text; END IF;
    IF outlet IS NOT NULL THEN w := w || 's.id IN (SELECT idkey FROM outlets WHERE idnum = $5)'::text; END IF;
    IF oname IS NOT NULL THEN
        w := w || 's.id IN (SELECT idkey FROM outlets WHERE strpos(agentname, $6) > 0)'::text;
    END IF;
    IF vch IS NOT NULL THEN w := w || 's.vchtype = $7'::text; END IF;
    IF area IS NOT NULL THEN w := w || 'strpos(s.area, $8) > 0'::text; END IF;
    IF cardinality(w) = 0 THEN
        RETURN '';
    END IF;
    RETURN ' WHERE ' || array_to_string(w, ' AND ');
END
$$;

CREATE FUNCTION hz_GetSalesName()
RETURNS TABLE ("USERCODE" text, "PTYPENAME" text)
LANGUAGE sql STABLE
AS $$
    SELECT DISTINCT usercode, ptypename FROM sales ORDER BY usercode, ptypename
$$;

CREATE FUNCTION hz_GetSPName()
RETURNS TABLE ("USERCODE" text, "PTYPENAME" text)
LANGUAGE sql STABLE
AS $$
    SELECT DISTINCT usercode, ptypename FROM stock ORDER BY usercode, ptypename
$$;

-- ---- column configuration ------------------------------------------------------------------

-- Modes: S the records of a grid id (by OrderCode); D delete them (1); I insert or replace one;
-- U set UserName, ColOrder, Visible; UW set Width; another mode: -1.
CREATE FUNCTION CW_r_GetColConfig("ID" text, "DefaultName" text, "UserName" text, "Visible" bigint,
                                  "SysVisible" bigint, "OrderCode" bigint, "ColOrder" bigint,
                                  "UserID" text, "Width" bigint, "sMode" text)
RETURNS SETOF hz_colconfig_row
LANGUAGE plpgsql
AS $$
DECLARE
    mode text := upper(coalesce(hz_util_trim($10), ''));
    grid text := coalesce(hz_util_trim($1), '');
    usr text := coalesce(hz_util_trim($8), '');
BEGIN
    IF mode = 'S' THEN
        RETURN QUERY
            SELECT c.gridid::text, c.ordercode, c.colorder, c.defaultname::text, c.username::text,
                   c.visible, c.sysvisible, c.width, c.userid::text
            FROM colconfig c WHERE c.gridid = grid AND c.userid = usr ORDER BY c.ordercode;
        PERFORM hz_util_return(0);
    ELSIF mode = 'D' THEN
        DELETE FROM colconfig c WHERE c.gridid = grid AND c.userid = usr;
        PERFORM hz_util_return(1);
    ELSIF mode = 'I' THEN
        INSERT INTO colconfig AS c (gridid, userid, ordercode, colorder, defaultname, username,
                                    visible, sysvisible, width)
        VALUES (grid, usr, coalesce($6, 0), coalesce($7, 0), coalesce($2, ''), coalesce($3, ''),
                coalesce($4, 0), coalesce($5, 0), coalesce($9, 0))
        ON CONFLICT (gridid, userid, ordercode) DO UPDATE
            SET colorder = excluded.colorder, defaultname = excluded.defaultname,
                username = excluded.username, visible = excluded.visible,
                sysvisible = excluded.sysvisible, width = excluded.width;
        PERFORM hz_util_return(0);
    ELSIF mode = 'U' THEN
        UPDATE colconfig c SET username = coalesce($3, ''), colorder = coalesce($7, 0),
                               visible = coalesce($4, 0)
        WHERE c.gridid = grid AND c.userid = usr AND c.ordercode = coalesce($6, 0);
        PERFORM hz_util_return(0);
    ELSIF mode = 'UW' THEN
        UPDATE colconfig c SET width = coalesce($9, 0)
        WHERE c.gridid = grid AND c.userid = usr AND c.ordercode = coalesce($6, 0);
        PERFORM hz_util_return(0);
    ELSE
        PERFORM hz_util_return(-1);
    END IF;
END
$$;

-- ---- import history (begin) -----------------------------------------------------------------
-- This section is also run on its own, once, in an account set made before it existed (the
-- engine does so when it opens the account set): every statement here may run again.

CREATE TABLE IF NOT EXISTS import_log (
    seq bigserial PRIMARY KEY,
    runtime timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    filename text NOT NULL,
    filesize bigint,
    sha256 text,
    kinds text,
    lines bigint,
    outcome text NOT NULL,
    reason text,
    computer text,
    dbuser text
);

-- One row per run; the database user is the session's when the client gives none.
CREATE OR REPLACE FUNCTION hz_AddImportLog("FileName" text, "FileSize" bigint, "Sha256" text,
                                           "Kinds" text, "Lines" bigint, "Outcome" text,
                                           "Reason" text, "Computer" text, "DbUser" text)
RETURNS integer
LANGUAGE plpgsql
AS $$
BEGIN
    IF coalesce("FileName", '') = '' OR coalesce(hz_util_trim("Outcome"), '') = '' THEN
        RETURN -1;
    END IF;
    INSERT INTO import_log (filename, filesize, sha256, kinds, lines, outcome, reason, computer, dbuser)
    VALUES ("FileName", "FileSize", coalesce("Sha256", ''), coalesce("Kinds", ''), "Lines",
            hz_util_trim("Outcome"), coalesce("Reason", ''), coalesce("Computer", ''),
            coalesce(nullif("DbUser", ''), session_user::text));
    RETURN 0;
END
$$;

-- Newest run first; "Limit" above 0 keeps that many.
CREATE OR REPLACE FUNCTION hz_GetImportLog("Limit" bigint)
RETURNS TABLE ("RUNTIME" text, "FILENAME" text, "FILESIZE" bigint, "SHA256" text, "KINDS" text,
               "LINES" bigint, "OUTCOME" text, "REASON" text, "COMPUTER" text, "DBUSER" text)
LANGUAGE sql STABLE
AS $$
    SELECT to_char(l.runtime, 'YYYY-MM-DD HH24:MI:SS'), l.filename, l.filesize, l.sha256, l.kinds,
           l.lines, l.outcome, l.reason, l.computer, l.dbuser
    FROM import_log l ORDER BY l.seq DESC
    LIMIT CASE WHEN "Limit" > 0 THEN "Limit" END
$$;
-- The outlets whose stock a successful run imported.
CREATE TABLE IF NOT EXISTS import_stock (
    seq bigint NOT NULL REFERENCES import_log (seq) ON DELETE CASCADE,
    id text COLLATE "C" NOT NULL
);
CREATE INDEX IF NOT EXISTS import_stock_id ON import_stock (id);

-- hz_AddImportLog and, in the same transaction, the outlets of the run's stock lines (one a line).
CREATE OR REPLACE FUNCTION hz_AddImportRecord("FileName" text, "FileSize" bigint, "Sha256" text,
                                              "Kinds" text, "Lines" bigint, "Outcome" text,
                                              "Reason" text, "Computer" text, "DbUser" text,
                                              "StockOutlets" text)
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    rc integer := hz_AddImportLog($1, $2, $3, $4, $5, $6, $7, $8, $9);
BEGIN
    IF rc = 0 THEN
        INSERT INTO import_stock (seq, id)
        SELECT currval(pg_get_serial_sequence('import_log', 'seq')), hz_util_trim(v)
        FROM unnest(string_to_array(coalesce("StockOutlets", ''), E'\n')) v
        WHERE coalesce(hz_util_trim(v), '') <> '';
    END IF;
    RETURN rc;
END
$$;

-- Per outlet of the list, the time of the newest run that imported its stock; 0101 and 101 name
-- one outlet.
CREATE OR REPLACE FUNCTION hz_GetStockImports()
RETURNS TABLE ("ID" text, "RUNTIME" text)
LANGUAGE sql STABLE
AS $$
    SELECT o.id::text, to_char(max(l.runtime), 'YYYY-MM-DD HH24:MI:SS')
    FROM outlets o
    JOIN import_stock s ON s.id = o.idkey OR (s.id ~ '^[+-]?[0-9]{1,18}$' AND o.idnum = s.id::bigint)
    JOIN import_log l ON l.seq = s.seq
    GROUP BY o.id, o.idnum, o.idkey
    ORDER BY o.idnum IS NULL, o.idnum, o.idkey
$$;
-- ---- import history (end) -------------------------------------------------------------------

-- ---- daily sales summary -------------------------------------------------------------------
-- From here to the end the script can run again: the engine runs this part in an account set
-- made before it (when it opens the account set), as one transaction.
SELECT pg_advisory_xact_lock(7235110004);

-- The sums of the sales lines, one row per outlet day, kept by the consolidation in its own
-- transaction; hz_AllStat reads these instead of the lines. Per outlet day the number of lines
-- and their sums, then its groups (product code and name, document type) packed side by side in
-- arrays, in the order of code, name and type. An outlet's daily file holds one line per product
-- sold, so a row-per-group table would be as large as the lines; these rows are a few thousand a
-- month. Built from the lines when the table is made (at the end of this part; no consolidation
-- runs meanwhile: SHARE lock on sales); the row-per-group table of earlier versions goes.
DO $$
BEGIN
    IF to_regclass('sales_daysum') IS NULL THEN
        LOCK TABLE sales IN SHARE MODE;
        DROP TABLE IF EXISTS sales_sum;
        -- The outlet days an earlier development form kept beside it; monthly sums that would
        -- not match the outlet days built below are made afresh from them.
        DROP TABLE IF EXISTS sales_day;
        DROP TABLE IF EXISTS sales_monthsum;
        CREATE TABLE sales_daysum (
            saledate date NOT NULL,
            id text COLLATE "C" NOT NULL,
            lines bigint NOT NULL,
            qty numeric NOT NULL, total numeric NOT NULL, costtotal numeric NOT NULL,
            usercodes text[] COLLATE "C" NOT NULL, ptypenames text[] COLLATE "C" NOT NULL,
            vchtypes integer[] NOT NULL,
            qtys numeric[] NOT NULL, totals numeric[] NOT NULL, costtotals numeric[] NOT NULL,
            PRIMARY KEY (saledate, id));
        -- The packed groups compress fast (where the server has it), so writing them costs little.
        BEGIN
            ALTER TABLE sales_daysum ALTER usercodes SET COMPRESSION lz4, ALTER ptypenames SET COMPRESSION lz4,
                ALTER vchtypes SET COMPRESSION lz4, ALTER qtys SET COMPRESSION lz4, ALTER totals SET COMPRESSION lz4,
                ALTER costtotals SET COMPRESSION lz4;
        EXCEPTION WHEN feature_not_supported OR invalid_parameter_value THEN
            NULL;
        END;
        PERFORM set_config('corvanta.build_summary', 'days', true);
    END IF;
    -- Sums over all outlets per month, product and document type, kept beside the outlet days
    -- (groups: how many outlet-day groups they sum, 0 once all are gone): the statistics by
    -- product or type of whole months read these few rows instead of unpacking every outlet day.
    IF to_regclass('sales_monthsum') IS NULL THEN
        LOCK TABLE sales IN SHARE MODE;
        -- Changes pending for monthly sums that are made afresh below would count twice.
        DROP TABLE IF EXISTS sales_monthpend;
        CREATE TABLE sales_monthsum (
            month date NOT NULL,
            usercode text COLLATE "C" NOT NULL, ptypename text COLLATE "C" NOT NULL,
            vchtype integer NOT NULL,
            groups bigint NOT NULL,
            qty numeric NOT NULL, total numeric NOT NULL, costtotal numeric NOT NULL,
            PRIMARY KEY (month, usercode, ptypename, vchtype));
        IF coalesce(current_setting('corvanta.build_summary', true), '') <> 'days' THEN
            PERFORM set_config('corvanta.build_summary', 'months', true);
        END IF;
    END IF;
END
$$;

-- The consolidations' changes of the monthly sums, appended (sales_monthsum plus these rows are
-- the sums): a nightly batch's small consolidations each updated a few hundred rows of
-- sales_monthsum, a third of the batch's time. hz_util_month_fold moves them over, summed per
-- key, once they are many.
CREATE TABLE IF NOT EXISTS sales_monthpend (
    month date NOT NULL,
    usercode text COLLATE "C" NOT NULL, ptypename text COLLATE "C" NOT NULL,
    vchtype integer NOT NULL,
    groups bigint NOT NULL,
    qty numeric NOT NULL, total numeric NOT NULL, costtotal numeric NOT NULL);

-- The groups of the summary as rows (day, outlet, code, name, type, sums): what the statistics
-- read, and what tests compare with the lines.
CREATE OR REPLACE VIEW hz_sales_groups AS
    SELECT d.saledate, d.id, u.usercode COLLATE "C" AS usercode, u.ptypename COLLATE "C" AS ptypename,
           u.vchtype, u.qty, u.total, u.costtotal
    FROM sales_daysum d,
         unnest(d.usercodes, d.ptypenames, d.vchtypes, d.qtys, d.totals, d.costtotals)
             AS u(usercode, ptypename, vchtype, qty, total, costtotal);

-- Locks the outlets of a consolidation, in outlet order so that two consolidations never wait
-- for each other crosswise; false when one of them is no longer in the outlet list.
CREATE OR REPLACE FUNCTION hz_util_lock_known_outlets(ids text[]) RETURNS boolean
LANGUAGE plpgsql
AS $$
BEGIN
    PERFORM hz_util_lock_outlet(k) FROM (SELECT DISTINCT k FROM unnest(ids) k ORDER BY 1) o;
    RETURN NOT EXISTS (SELECT 1 FROM unnest(ids) k WHERE NOT EXISTS (SELECT 1 FROM outlets o WHERE o.idkey = k));
END
$$;

-- The summary of the given outlet days computed afresh from their lines.
CREATE OR REPLACE FUNCTION hz_util_sum_refresh(ids text[], dates date[]) RETURNS void
LANGUAGE plpgsql
AS $$
DECLARE
    -- The days' range as well: the lines are then read through the block-range index, and the
    -- join never sorts the whole table (its planner cannot count an array's keys).
    lo date := (SELECT min(x) FROM unnest(dates) x);
    hi date := (SELECT max(x) FROM unnest(dates) x);
BEGIN
    PERFORM hz_util_month_take(ids, dates, -1);
    DELETE FROM sales_daysum d
    USING unnest(ids, dates) AS n(id, saledate)
    WHERE d.id = n.id AND d.saledate = n.saledate;
    INSERT INTO sales_daysum
    SELECT g.saledate, g.id, sum(g.n), sum(g.q), sum(g.t), sum(g.c),
           array_agg(g.usercode ORDER BY g.usercode, g.ptypename, g.vchtype),
           array_agg(g.ptypename ORDER BY g.usercode, g.ptypename, g.vchtype),
           array_agg(g.vchtype ORDER BY g.usercode, g.ptypename, g.vchtype),
           array_agg(g.q ORDER BY g.usercode, g.ptypename, g.vchtype),
           array_agg(g.t ORDER BY g.usercode, g.ptypename, g.vchtype),
           array_agg(g.c ORDER BY g.usercode, g.ptypename, g.vchtype)
    FROM (SELECT s.saledate, s.id, s.usercode, s.ptypename,
                 s.vchtype, count(*) n, sum(s.qty) q, sum(s.total) t, sum(s.costtotal) c
          FROM sales s JOIN (SELECT DISTINCT id, saledate FROM unnest(ids, dates) AS u(id, saledate)) n
               ON s.id = n.id AND s.saledate = n.saledate
          WHERE s.saledate BETWEEN lo AND hi
          GROUP BY 1, 2, 3, 4, 5) g
    GROUP BY g.saledate, g.id;
    PERFORM hz_util_month_take(ids, dates, 1);
    PERFORM hz_util_month_apply();
END
$$;

-- A client that sums a large intake in parts writes them here (its outlet days' rows, as
-- sales_daysum has them) until its consolidation moves them over; temporary, so it is this
-- session's, and it goes with a transaction that fails.
CREATE OR REPLACE FUNCTION hz_util_sum_part() RETURNS void
LANGUAGE plpgsql
AS $$
BEGIN
    IF to_regclass('pg_temp.hz_sum_part') IS NULL THEN
        CREATE TEMP TABLE hz_sum_part (LIKE sales_daysum INCLUDING COMPRESSION);
    END IF;
    IF to_regclass('pg_temp.hz_month_delta') IS NULL THEN
        CREATE TEMP TABLE hz_month_delta (LIKE sales_monthsum);
    END IF;
END
$$;

-- The groups of the given outlet days as they are now, counted with sign (-1: about to go,
-- 1: just written) into this transaction's changes of the monthly sums. A month's groups outgrow
-- the default work_mem: the grouping then spilled to disk (a third of a month's re-import).
CREATE OR REPLACE FUNCTION hz_util_month_take(ids text[], dates date[], sign integer) RETURNS void
LANGUAGE plpgsql SET work_mem = '64MB'
AS $$
BEGIN
    PERFORM hz_util_sum_part();
    IF coalesce(cardinality(ids), 0) = 0 THEN
        RETURN;
    END IF;
    INSERT INTO pg_temp.hz_month_delta
    SELECT date_trunc('month', g.saledate::timestamp)::date, coalesce(g.usercode, ''), coalesce(g.ptypename, ''), g.vchtype,
           sign * count(*), sign * sum(g.qty), sign * sum(g.total), sign * sum(g.costtotal)
    FROM hz_sales_groups g
         JOIN (SELECT DISTINCT * FROM unnest(ids, dates) AS k(id, saledate)) k ON k.id = g.id AND k.saledate = g.saledate
    GROUP BY 1, 2, 3, 4;
END
$$;

-- hz_util_month_take of outlet days about to go, for a replace: a month all of whose stored outlet
-- days go (a month's file imported again) has its sums taken off whole, from the monthly sums and
-- the changes pending, instead of from each of its groups (1.4 s of the 6 s of such a re-import).
-- One statement decides and takes: what it reads is one moment's state, in which the monthly sums
-- are the sums of the outlet days stored. The other months' days go group by group.
CREATE OR REPLACE FUNCTION hz_util_month_take_old(ids text[], dates date[]) RETURNS void
LANGUAGE plpgsql SET work_mem = '64MB'
AS $$
DECLARE
    whole date[];
    rest_ids text[];
    rest_dates date[];
BEGIN
    PERFORM hz_util_sum_part();
    IF coalesce(cardinality(ids), 0) = 0 THEN
        RETURN;
    END IF;
    WITH k AS (SELECT DISTINCT id, saledate FROM unnest(ids, dates) AS k(id, saledate)),
         months AS (SELECT DISTINCT date_trunc('month', saledate::timestamp)::date AS month FROM k),
         gone AS (SELECT m.month FROM months m
                  WHERE NOT EXISTS (SELECT 1 FROM sales_daysum d
                                    WHERE d.saledate >= m.month AND d.saledate < (m.month + interval '1 month')::date
                                      AND NOT EXISTS (SELECT 1 FROM k WHERE k.id = d.id AND k.saledate = d.saledate))),
         taken AS (INSERT INTO pg_temp.hz_month_delta
                   SELECT s.month, s.usercode, s.ptypename, s.vchtype,
                          -sum(s.groups), -sum(s.qty), -sum(s.total), -sum(s.costtotal)
                   FROM (SELECT * FROM sales_monthsum WHERE month IN (SELECT month FROM gone)
                         UNION ALL SELECT * FROM sales_monthpend WHERE month IN (SELECT month FROM gone)) s
                   GROUP BY 1, 2, 3, 4
                   RETURNING 1)
    SELECT array_agg(month) INTO whole FROM gone;
    SELECT array_agg(k.id), array_agg(k.saledate) INTO rest_ids, rest_dates
    FROM unnest(ids, dates) AS k(id, saledate)
    WHERE date_trunc('month', k.saledate::timestamp)::date <> ALL (coalesce(whole, '{}'::date[]));
    PERFORM hz_util_month_take(rest_ids, rest_dates, -1);
END
$$;

-- This transaction's changes of the monthly sums, appended to the pending ones.
CREATE OR REPLACE FUNCTION hz_util_month_apply() RETURNS void
LANGUAGE plpgsql
AS $$
BEGIN
    PERFORM hz_util_sum_part();
    INSERT INTO sales_monthpend
    SELECT month, usercode, ptypename, vchtype, sum(groups), sum(qty), sum(total), sum(costtotal)
    FROM pg_temp.hz_month_delta GROUP BY 1, 2, 3, 4;
    TRUNCATE pg_temp.hz_month_delta;
END
$$;

-- The pending changes into the monthly sums, summed per key and in key order, when there are at
-- least at_least of them (by the server's running count). One fold at a time; another one
-- running meanwhile, this one is skipped. A change committed while it runs stays for the next:
-- it deletes only the rows it has read.
CREATE OR REPLACE FUNCTION hz_util_month_fold(at_least bigint) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public
AS $$
BEGIN
    -- Without the server's counts (track_counts off) every call folds.
    IF current_setting('track_counts') = 'on'
       AND pg_stat_get_live_tuples('public.sales_monthpend'::regclass) < at_least THEN
        RETURN;
    END IF;
    IF NOT pg_try_advisory_xact_lock(7235110005) THEN
        RETURN;
    END IF;
    WITH gone AS (DELETE FROM public.sales_monthpend RETURNING *)
    INSERT INTO public.sales_monthsum AS m
    SELECT month, usercode, ptypename, vchtype, sum(groups), sum(qty), sum(total), sum(costtotal)
    FROM gone GROUP BY 1, 2, 3, 4 ORDER BY 1, 2, 3, 4
    ON CONFLICT (month, usercode, ptypename, vchtype) DO UPDATE
        SET groups = m.groups + EXCLUDED.groups, qty = m.qty + EXCLUDED.qty, total = m.total + EXCLUDED.total,
            costtotal = m.costtotal + EXCLUDED.costtotal;
END
$$;

-- The parts into the summary, after hz_util_direct_replace_sales: an outlet day in one part
-- goes over as it is; one in several (ids, dates: whose lines came on both sides of a part's
-- end) has its groups added up first. Kept for clients of the version before, which wrote their
-- parts here; clients now merge their parts themselves and send each outlet day once.
CREATE OR REPLACE FUNCTION hz_util_sum_parts(ids text[], dates date[]) RETURNS void
LANGUAGE plpgsql
AS $$
BEGIN
    PERFORM hz_util_sum_part();
    INSERT INTO sales_daysum
    SELECT p.* FROM pg_temp.hz_sum_part p
    WHERE NOT EXISTS (SELECT 1 FROM unnest(ids, dates) AS n(id, saledate) WHERE n.id = p.id AND n.saledate = p.saledate);
    IF coalesce(cardinality(ids), 0) > 0 THEN
        -- The client counted a group of such an outlet day once per part: counted once below.
        INSERT INTO pg_temp.hz_month_delta
        SELECT date_trunc('month', p.saledate::timestamp)::date, coalesce(u.usercode, ''), coalesce(u.ptypename, ''),
               u.vchtype, -count(*), 0, 0, 0
        FROM pg_temp.hz_sum_part p
             JOIN (SELECT DISTINCT * FROM unnest(ids, dates) AS k(id, saledate)) k ON k.id = p.id AND k.saledate = p.saledate,
             unnest(p.usercodes, p.ptypenames, p.vchtypes) AS u(usercode, ptypename, vchtype)
        GROUP BY 1, 2, 3, 4;
        INSERT INTO sales_daysum
        SELECT t.saledate, t.id, t.n, t.q, t.t, t.c, g.usercodes, g.ptypenames, g.vchtypes, g.qtys, g.totals, g.costtotals
        FROM (SELECT p.saledate, p.id, sum(p.lines) n, sum(p.qty) q, sum(p.total) t, sum(p.costtotal) c
              FROM pg_temp.hz_sum_part p JOIN (SELECT DISTINCT * FROM unnest(ids, dates) AS k(id, saledate)) k
                   ON k.id = p.id AND k.saledate = p.saledate
              GROUP BY 1, 2) t
        JOIN (SELECT e.saledate, e.id,
                     array_agg(e.usercode ORDER BY e.usercode, e.ptypename, e.vchtype) usercodes,
                     array_agg(e.ptypename ORDER BY e.usercode, e.ptypename, e.vchtype) ptypenames,
                     array_agg(e.vchtype ORDER BY e.usercode, e.ptypename, e.vchtype) vchtypes,
                     array_agg(e.q ORDER BY e.usercode, e.ptypename, e.vchtype) qtys,
                     array_agg(e.t ORDER BY e.usercode, e.ptypename, e.vchtype) totals,
                     array_agg(e.c ORDER BY e.usercode, e.ptypename, e.vchtype) costtotals
              FROM (SELECT p.saledate, p.id, u.usercode, u.ptypename, u.vchtype,
                           sum(u.qty) q, sum(u.total) t, sum(u.costtotal) c
                    FROM pg_temp.hz_sum_part p
                         JOIN (SELECT DISTINCT * FROM unnest(ids, dates) AS k(id, saledate)) k
                              ON k.id = p.id AND k.saledate = p.saledate,
                         unnest(p.usercodes, p.ptypenames, p.vchtypes, p.qtys, p.totals, p.costtotals)
                             AS u(usercode, ptypename, vchtype, qty, total, costtotal)
                    GROUP BY 1, 2, 3, 4, 5) e
              GROUP BY 1, 2) g ON g.saledate = t.saledate AND g.id = t.id;
        INSERT INTO pg_temp.hz_month_delta
        SELECT date_trunc('month', g.saledate::timestamp)::date, coalesce(g.usercode, ''), coalesce(g.ptypename, ''),
               g.vchtype, count(*), 0, 0, 0
        FROM hz_sales_groups g
             JOIN (SELECT DISTINCT * FROM unnest(ids, dates) AS k(id, saledate)) k ON k.id = g.id AND k.saledate = g.saledate
        GROUP BY 1, 2, 3, 4;
    END IF;
    TRUNCATE pg_temp.hz_sum_part;
END
$$;

-- One transaction (the function call): the staged lines replace the stored lines of the same
-- outlets and dates, so importing a file twice does not double its figures. -1 when an outlet of
-- the staged lines is no longer in the outlet list (nothing is changed then).
CREATE OR REPLACE FUNCTION hz_AddSales()
RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    ids text[];
    dates date[];
BEGIN
    PERFORM hz_util_staging();
    -- The replaced outlet days, gathered in one pass over the staging; the statements below then
    -- plan for a handful of keys, whatever the size of the staging (it has no statistics).
    SELECT array_agg(p.id), array_agg(p.saledate) INTO ids, dates
    FROM (SELECT DISTINCT id, saledate FROM pg_temp.hz_stage_sales) p;
    IF ids IS NULL THEN
        RETURN 0;
    END IF;
    IF NOT hz_util_lock_known_outlets(ids) THEN
        RETURN -1;
    END IF;
    DELETE FROM sales s
    USING unnest(ids, dates) AS n(id, saledate)
    WHERE s.id = n.id AND s.saledate = n.saledate
      AND s.saledate BETWEEN (SELECT min(x) FROM unnest(dates) x) AND (SELECT max(x) FROM unnest(dates) x);
    -- In staging order: the import order within each outlet day.
    INSERT INTO sales (id, usercode, ptypename, standard, type, unit, area, saledate, qty, total,
                       costtotal, vchtype)
    SELECT id, usercode, ptypename, standard, type, unit, area, saledate, qty, total, costtotal, vchtype
    FROM pg_temp.hz_stage_sales;
    TRUNCATE pg_temp.hz_stage_sales;
    PERFORM hz_util_sum_refresh(ids, dates);
    RETURN 0;
END
$$;

-- hz_AddSales for a direct intake that sums its own lines: the lines this transaction wrote
-- replace the other lines of their outlet days, and those days' summary rows go; the client then
-- writes the sums of its lines (COPY into sales_daysum), their
-- monthly sums, and calls hz_util_sum_written before it commits. -1 when an outlet is no longer in the outlet list (nothing removed then).
CREATE OR REPLACE FUNCTION hz_util_direct_replace_sales(ids text[], dates date[]) RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    old_ids text[];
    old_dates date[];
BEGIN
    IF coalesce(cardinality(ids), 0) = 0 THEN
        RETURN 0;
    END IF;
    -- The statements below start after the locks, so they see what a consolidation that held
    -- them wrote.
    IF NOT hz_util_lock_known_outlets(ids) THEN
        RETURN -1;
    END IF;
    -- Only outlet days stored before have lines to go, and the summary has a row for each: a new
    -- day's import does not look for lines at all.
    SELECT array_agg(d.id), array_agg(d.saledate) INTO old_ids, old_dates
    FROM sales_daysum d
         JOIN (SELECT DISTINCT * FROM unnest(ids, dates) AS n(id, saledate)) n ON d.id = n.id AND d.saledate = n.saledate;
    IF old_ids IS NULL THEN
        RETURN 0;
    END IF;
    -- The days' range as well (see hz_util_sum_refresh): a month's re-import took 4 s here
    -- without it, sorting every line of the table.
    DELETE FROM sales s
    USING unnest(old_ids, old_dates) AS n(id, saledate)
    WHERE s.id = n.id AND s.saledate = n.saledate AND s.xmin <> pg_current_xact_id()::xid
      AND s.saledate BETWEEN (SELECT min(x) FROM unnest(old_dates) x) AND (SELECT max(x) FROM unnest(old_dates) x);
    PERFORM hz_util_month_take_old(old_ids, old_dates);
    DELETE FROM sales_daysum d
    USING unnest(old_ids, old_dates) AS n(id, saledate)
    WHERE d.id = n.id AND d.saledate = n.saledate;
    RETURN 0;
END
$$;

-- After the client wrote the outlet days' rows and its monthly sums of them (COPY into
-- pg_temp.hz_month_delta): the monthly sums follow.
CREATE OR REPLACE FUNCTION hz_util_sum_written() RETURNS void
LANGUAGE sql
AS $$
    SELECT hz_util_month_apply()
$$;

-- The same for a client that does not sum its lines: the server sums the outlet days again.
CREATE OR REPLACE FUNCTION hz_util_direct_add_sales(ids text[], dates date[]) RETURNS integer
LANGUAGE plpgsql
AS $$
DECLARE
    rc integer := hz_util_direct_replace_sales(ids, dates);
BEGIN
    IF rc = 0 AND coalesce(cardinality(ids), 0) > 0 THEN
        PERFORM hz_util_sum_refresh(ids, dates);
    END IF;
    RETURN rc;
END
$$;

-- A table never analysed, or grown by a tenth since, is analysed at once: without statistics the
-- planner cannot see that the lines lie in date order, and a one-day query read every line of
-- the table instead of the day's block ranges (0.6 s against 0.1 s at 3M lines) until autovacuum
-- came by. A small sample is enough for that and costs 20-30 ms at any size (the default
-- sample took 0.3 s of each import); autovacuum still analyses with its own.
CREATE OR REPLACE FUNCTION hz_util_analyze_grown(t regclass) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public SET default_statistics_target = 10
AS $$
DECLARE
    pages integer;
    tuples real;
BEGIN
    SELECT relpages, reltuples INTO pages, tuples FROM pg_class WHERE oid = t;
    IF tuples < 0 OR pg_relation_size(t) / current_setting('block_size')::bigint > pages * 1.1 + 8 THEN
        EXECUTE format('ANALYZE %s', t);
    END IF;
END
$$;

-- Summarises the block ranges of sales (and stock) not yet summarised: the client calls it after
-- a consolidation, so that the next one's replaces and the queries skip the ranges it added. As
-- the account set's owner, which the index's summarising needs, whoever the clerk is.
-- Skipped at once when a vacuum holds the table (it summarises them itself): the call never waits.
-- The monthly sums follow too, once 20,000 changes are pending: a batch's changes then fold in
-- a few hundred milliseconds, and the statistics read few pending rows.
CREATE OR REPLACE FUNCTION hz_util_summarize_ranges(sales boolean, stock boolean) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public
AS $$
BEGIN
    IF sales THEN
        PERFORM hz_util_month_fold(20000);
    END IF;
    BEGIN
        IF sales THEN
            LOCK TABLE public.sales IN SHARE UPDATE EXCLUSIVE MODE NOWAIT;
            PERFORM brin_summarize_new_values('public.sales_brin'::regclass);
            PERFORM hz_util_analyze_grown('public.sales'::regclass);
        END IF;
        IF stock THEN
            LOCK TABLE public.stock IN SHARE UPDATE EXCLUSIVE MODE NOWAIT;
            PERFORM brin_summarize_new_values('public.stock_brin'::regclass);
            PERFORM hz_util_analyze_grown('public.stock'::regclass);
        END IF;
    EXCEPTION WHEN lock_not_available THEN
        NULL;
    END;
END
$$;

-- hz_GetSales unsorted, with its sort keys at the end (the outlet number, the import order): the
-- engine orders the lines itself, as the embedded engine does (sorting 100,000 lines took half
-- of the query's time here). Its connections read dates in ISO form, which DATE is sent in.
CREATE OR REPLACE FUNCTION hz_util_sales_lines("date1" date, "date2" date, "USERCODE" text, "PTYPENAME" text,
                                               "ID" bigint, "AGENTNAME" text, "AREA" text, "VCHTYPE" bigint)
RETURNS TABLE ("USERCODE" text, "PTYPENAME" text, "ID" text, "AGENTNAME" text, "STANDARD" text, "TYPE" text,
               "UNIT" text, "AREA" text, "DATE" date, "QTY" numeric, "TOTAL" numeric, "COSTTOTAL" numeric,
               "VCHTYPE" integer, "IDNUM" bigint, "SEQ" bigint)
LANGUAGE sql STABLE
AS $$
    SELECT s.usercode::text, s.ptypename::text, s.id::text, o.agentname::text, s.standard::text,
           s.type::text, s.unit::text, s.area::text, s.saledate,
           s.qty, s.total, s.costtotal, s.vchtype, o.idnum, s.seq
    FROM sales s LEFT JOIN outlets o ON o.idkey = s.id
    WHERE ($1 IS NULL OR s.saledate >= $1) AND ($2 IS NULL OR s.saledate <= $2)
      AND (nullif(hz_util_trim($3), '') IS NULL OR s.usercode = nullif(hz_util_trim($3), ''))
      AND (nullif(hz_util_trim($4), '') IS NULL OR strpos(s.ptypename, nullif(hz_util_trim($4), '')) > 0)
      AND ($5 IS NULL OR s.id IN (SELECT idkey FROM outlets WHERE idnum = $5))
      AND (nullif(hz_util_trim($6), '') IS NULL
           OR s.id IN (SELECT idkey FROM outlets WHERE strpos(agentname, nullif(hz_util_trim($6), '')) > 0))
      AND ($8 IS NULL OR s.vchtype = $8)
      AND (nullif(hz_util_trim($7), '') IS NULL OR strpos(s.area, nullif(hz_util_trim($7), '')) > 0)
$$;

-- The sales and stock queries. Plain SQL, so that the server reads them into the calling query
-- instead of running them apart and storing all their rows first (a third of the query's time
-- for 100,000 rows); a filter left empty folds away in the plan made for the values bound (the
-- client plans each query call afresh), so the block-range index still serves the dates. The sort keys
-- lead the sorted rows: PostgreSQL then finds them without stepping over the texts of every row
-- it compares, which more than halves the sort.
CREATE OR REPLACE FUNCTION hz_GetSales("date1" date, "date2" date, "USERCODE" text, "PTYPENAME" text,
                                       "ID" bigint, "AGENTNAME" text, "AREA" text, "VCHTYPE" bigint)
RETURNS SETOF hz_sales_row
LANGUAGE sql STABLE
AS $$
    SELECT "USERCODE", "PTYPENAME", "ID", "AGENTNAME", "STANDARD", "TYPE", "UNIT", "AREA", saledate, "QTY", "TOTAL",
           "COSTTOTAL", "VCHTYPE"
    FROM (SELECT l."DATE" AS k1, l."IDNUM" IS NULL AS k2, l."IDNUM" AS k3, l."SEQ" AS k5, l."ID" COLLATE "C" AS k4,
                 l."USERCODE", l."PTYPENAME", l."ID", l."AGENTNAME", l."STANDARD", l."TYPE", l."UNIT", l."AREA",
                 to_char(l."DATE", 'YYYY-MM-DD') AS saledate, l."QTY", l."TOTAL", l."COSTTOTAL", l."VCHTYPE"
          FROM hz_util_sales_lines($1, $2, $3, $4, $5, $6, $7, $8) l
          ORDER BY k1, k2, k3, k4, k5) x
$$;

CREATE OR REPLACE FUNCTION hz_GetStock("USERCODE" text, "PTYPENAME" text, "ID" bigint, "AGENTNAME" text,
                                       "AREA" text)
RETURNS SETOF hz_stock_row
LANGUAGE sql STABLE
AS $$
    SELECT usercode, ptypename, id, agentname, standard, type, unit, area, kcqty, kctotal
    FROM (SELECT o.idnum IS NULL AS k1, o.idnum AS k2, s.seq AS k5, s.id AS k3, s.usercode AS k4,
                 s.usercode::text, s.ptypename::text, s.id::text, o.agentname::text, s.standard::text,
                 s.type::text, s.unit::text, s.area::text, s.kcqty, s.kctotal
          FROM stock s LEFT JOIN outlets o ON o.idkey = s.id
          WHERE (nullif(hz_util_trim($1), '') IS NULL OR s.usercode = nullif(hz_util_trim($1), ''))
            AND (nullif(hz_util_trim($2), '') IS NULL OR strpos(s.ptypename, nullif(hz_util_trim($2), '')) > 0)
            AND ($3 IS NULL OR s.id IN (SELECT idkey FROM outlets WHERE idnum = $3))
            AND (nullif(hz_util_trim($4), '') IS NULL
                 OR s.id IN (SELECT idkey FROM outlets WHERE strpos(agentname, nullif(hz_util_trim($4), '')) > 0))
            AND (nullif(hz_util_trim($5), '') IS NULL OR strpos(s.area, nullif(hz_util_trim($5), '')) > 0)
          ORDER BY k1, k2, k3, k4, k5) x
$$;

-- Sums per product (P), outlet (N), document type (V) or date (D); -1 and no rows for another mode.
-- Read from the daily summary: every filter of this procedure is one of its keys. Without a
-- product or document-type filter the outlets and days are summed from the outlet days' own
-- sums, without unpacking their groups.
CREATE OR REPLACE FUNCTION hz_AllStat("date1" date, "date2" date, "iType" text, "USERCODE" text,
                           "PTYPENAME" text, "ID" bigint, "AGENTNAME" text, "VCHTYPE" bigint)
RETURNS TABLE ("code" text, "FullName" text, "AllQTY" numeric, "AllTOTAL" numeric,
               "ALLCOSTTOTAL" numeric, "PROFIT" numeric)
LANGUAGE plpgsql STABLE
AS $$
DECLARE
    mode text := upper(coalesce(hz_util_trim($3), ''));
    code text := nullif(hz_util_trim($4), '');
    pname text := nullif(hz_util_trim($5), '');
    oname text := nullif(hz_util_trim($7), '');
    sel text;
    src text := 'hz_sales_groups s';
    whole boolean := code IS NULL AND pname IS NULL AND $8 IS NULL;
    grp text;
    ord text;
    -- The whole months of the range (from m1 up to m2), read from the monthly sums.
    m1 date := CASE WHEN $1 IS NULL THEN DATE '0001-01-01' ELSE (date_trunc('month', ($1 - 1)::timestamp) + interval '1 month')::date END;
    m2 date := CASE WHEN $2 IS NULL THEN DATE '9999-12-01' + 31 ELSE date_trunc('month', ($2 + 1)::timestamp)::date END;
    w text;
BEGIN
    IF mode IN ('P', 'V') AND $6 IS NULL AND oname IS NULL AND m1 < m2 THEN
        -- The monthly sums, their pending changes and the days at the ends, each with the groups
        -- it counts: a product (type) whose groups are all gone has no row.
        src := '(SELECT usercode, ptypename, vchtype, groups, qty, total, costtotal FROM sales_monthsum '
               'WHERE month >= $9 AND month < $10 '
               'UNION ALL SELECT usercode, ptypename, vchtype, groups, qty, total, costtotal FROM sales_monthpend '
               'WHERE month >= $9 AND month < $10 '
               'UNION ALL SELECT coalesce(usercode, ''''), coalesce(ptypename, ''''), vchtype, 1, qty, total, costtotal '
               'FROM hz_sales_groups '
               'WHERE (saledate >= $1 OR $1 IS NULL) AND saledate < $9 '
               'OR saledate >= $10 AND (saledate <= $2 OR $2 IS NULL)) s';
        IF mode = 'P' THEN
            sel := 's.usercode::text, s.ptypename::text';
            grp := 's.usercode, s.ptypename';
        ELSE
            sel := 's.vchtype::text, s.vchtype::text';
            grp := 's.vchtype';
        END IF;
        RETURN QUERY EXECUTE
            'SELECT ' || sel || ', sum(s.qty), sum(s.total), sum(s.costtotal), sum(s.total) - sum(s.costtotal) '
            'FROM ' || src
            || hz_util_where(NULL, NULL, code, pname, NULL, NULL, $8, NULL)
            || ' GROUP BY ' || grp || ' HAVING sum(s.groups) > 0 ORDER BY ' || grp
            USING $1, $2, code, pname, $6, oname, $8, NULL::text, m1, m2;
        RETURN;
    END IF;
    IF mode = 'P' THEN
        sel := 's.usercode::text, s.ptypename::text';
        grp := 's.usercode, s.ptypename';
        ord := grp;
    ELSIF mode = 'N' THEN
        sel := 's.id::text, max(o.agentname)::text';
        src := CASE WHEN whole THEN 'sales_daysum' ELSE 'hz_sales_groups' END || ' s LEFT JOIN outlets o ON o.idkey = s.id';
        grp := 's.id';
        ord := 'max(o.idnum) IS NULL, max(o.idnum), s.id';
    ELSIF mode = 'V' THEN
        sel := 's.vchtype::text, s.vchtype::text';
        grp := 's.vchtype';
        ord := grp;
    ELSIF mode = 'D' THEN
        sel := 'to_char(s.saledate, ''YYYY-MM-DD''), to_char(s.saledate, ''YYYY-MM-DD'')';
        IF whole THEN
            src := 'sales_daysum s';
        END IF;
        grp := 's.saledate';
        ord := grp;
    ELSE
        PERFORM hz_util_return(-1);
        RETURN;
    END IF;
    RETURN QUERY EXECUTE
        'SELECT ' || sel || ', sum(s.qty), sum(s.total), sum(s.costtotal), sum(s.total) - sum(s.costtotal) '
        'FROM ' || src
        || hz_util_where($1, $2, code, pname, $6, oname, $8, NULL)
        || ' GROUP BY ' || grp || ' ORDER BY ' || ord
        USING $1, $2, code, pname, $6, oname, $8, NULL::text;
END
$$;

-- For each outlet of the outlet list and each day of the range (a year at most): the lines and
-- the amount that arrived, 0 where nothing did. Read from the summary's outlet days only.
CREATE OR REPLACE FUNCTION hz_GetDeliveries("date1" date, "date2" date)
RETURNS TABLE ("ID" text, "AGENTNAME" text, "DATE" text, "LINES" bigint, "TOTAL" numeric)
LANGUAGE plpgsql STABLE
-- A year of 500 outlets sorts in memory.
SET work_mem = '64MB'
AS $$
BEGIN
    IF $1 IS NULL OR $2 IS NULL OR $2 - $1 >= 366 THEN
        PERFORM hz_util_return(-1);
        RETURN;
    END IF;
    -- The outlets are put in order once; the rows then sort by two small keys.
    RETURN QUERY
    SELECT o.id::text, o.agentname::text, to_char(d.day, 'YYYY-MM-DD'), coalesce(s.lines, 0)::bigint,
           coalesce(s.total, 0)
    FROM (SELECT n.id, n.agentname, n.idkey, row_number() OVER (ORDER BY n.idnum IS NULL, n.idnum, n.idkey) AS pos
          FROM outlets n) o
    CROSS JOIN (SELECT g::date AS day FROM generate_series($1::timestamp, $2::timestamp, interval '1 day') g) d
    LEFT JOIN sales_daysum s ON s.saledate = d.day AND s.id = o.idkey
    ORDER BY o.pos, d.day;
END
$$;

-- The tables made above get their rows: the outlet days from the lines (and the months from
-- them), or the months from the outlet days.
DO $$
DECLARE
    build text := coalesce(current_setting('corvanta.build_summary', true), '');
    ids text[];
    dates date[];
BEGIN
    IF build = 'days' THEN
        SELECT array_agg(id), array_agg(saledate) INTO ids, dates FROM (SELECT DISTINCT id, saledate FROM sales) d;
        PERFORM hz_util_sum_refresh(ids, dates);
    ELSIF build = 'months' THEN
        SELECT array_agg(id), array_agg(saledate) INTO ids, dates FROM sales_daysum;
        PERFORM hz_util_month_take(ids, dates, 1);
        PERFORM hz_util_month_apply();
    END IF;
    PERFORM set_config('corvanta.build_summary', '', true);
END
$$;

-- The engine summarises the block ranges after each consolidation (hz_util_summarize_ranges) and
-- vacuum does too; the server's own requests per filled range overflowed its queue on every
-- bulk import and wrote a log line per range.
ALTER INDEX sales_brin SET (autosummarize = off);
ALTER INDEX stock_brin SET (autosummarize = off);

-- What the engine checks when it opens an account set: an older one runs this part again.
CREATE OR REPLACE FUNCTION hz_util_template_version() RETURNS integer
LANGUAGE sql IMMUTABLE
AS $$ SELECT 4 $$;
