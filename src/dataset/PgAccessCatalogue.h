#pragma once
// The four selects that fill an access manager's datasets from a PostgreSQL catalogue, in
// the shapes the manager reads. Open each in a TQelODBCClient on the user's own connection
// and assign them as qObjects, qColumns, qMembers and qProtects.
//
// - Objects and columns: the tables, views and foreign tables visible on the search path;
//   the system catalogues are left out; "id" is the table's oid and "colid" the column's
//   number (attnum, from 1).
// - Members: every role the current user is a member of (itself included), plus
//   "db_owner" for a superuser and "db_datawriter" for a member of pg_write_all_data.
//   No PostgreSQL role stands for "db_denydatawriter"; it is never listed.
// - Protects: the UPDATE privileges usable by the current user (granted to it, to a role
//   whose privileges it inherits, or to PUBLIC) as GRANT rows: a table-wide privilege (the
//   owner's included) with the mask 0x01, every column privilege with the bit of its
//   column. PostgreSQL has no denials, so there are no DENY rows.

namespace kubrix {

inline constexpr const char* kPgAccessObjectsSQL =
    "SELECT CAST(c.relname AS varchar(64)) AS name, CAST(c.oid AS integer) AS id "
    "FROM pg_catalog.pg_class c "
    "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') AND pg_catalog.pg_table_is_visible(c.oid) "
    "AND c.relnamespace NOT IN ('pg_catalog'::regnamespace, 'information_schema'::regnamespace)";

inline constexpr const char* kPgAccessColumnsSQL =
    "SELECT CAST(a.attrelid AS integer) AS id, CAST(a.attname AS varchar(64)) AS name, "
    "CAST(a.attnum AS integer) AS colid "
    "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
    "WHERE a.attnum > 0 AND NOT a.attisdropped AND c.relkind IN ('r', 'p', 'v', 'm', 'f') "
    "AND pg_catalog.pg_table_is_visible(c.oid) "
    "AND c.relnamespace NOT IN ('pg_catalog'::regnamespace, 'information_schema'::regnamespace)";

inline constexpr const char* kPgAccessMembersSQL =
    "SELECT CAST(r.rolname AS varchar(64)) AS name FROM pg_catalog.pg_roles r "
    "WHERE pg_catalog.pg_has_role(current_user, r.oid, 'MEMBER') "
    "UNION ALL SELECT CAST('db_owner' AS varchar(64)) FROM pg_catalog.pg_roles r "
    "WHERE r.rolname = current_user AND r.rolsuper "
    "UNION ALL SELECT CAST('db_datawriter' AS varchar(64)) "
    "WHERE pg_catalog.pg_has_role(current_user, 'pg_write_all_data', 'MEMBER')";

inline constexpr const char* kPgAccessProtectsSQL =
    "SELECT CAST(c.oid AS integer) AS id, 197 AS action, 205 AS \"ProtectType\", "
    "pg_catalog.decode('01', 'hex') AS \"Columns\" "
    "FROM pg_catalog.pg_class c, "
    "pg_catalog.aclexplode(COALESCE(c.relacl, pg_catalog.acldefault('r', c.relowner))) g "
    "WHERE g.privilege_type = 'UPDATE' AND (g.grantee = 0 OR g.grantee IN "
    "(SELECT r.oid FROM pg_catalog.pg_roles r WHERE pg_catalog.pg_has_role(current_user, r.oid, 'USAGE'))) "
    "AND c.relnamespace NOT IN ('pg_catalog'::regnamespace, 'information_schema'::regnamespace) "
    "UNION ALL "
    "SELECT CAST(a.attrelid AS integer), 197, 205, "
    "pg_catalog.set_bit(pg_catalog.decode(pg_catalog.repeat('00', a.attnum / 8 + 1), 'hex'), a.attnum, 1) "
    "FROM pg_catalog.pg_attribute a, pg_catalog.aclexplode(a.attacl) g "
    "WHERE a.attnum > 0 AND NOT a.attisdropped AND g.privilege_type = 'UPDATE' AND (g.grantee = 0 OR g.grantee IN "
    "(SELECT r.oid FROM pg_catalog.pg_roles r WHERE pg_catalog.pg_has_role(current_user, r.oid, 'USAGE')))";

}  // namespace kubrix
